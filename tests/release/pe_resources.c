/* pe_resources: prints what Windows reads from a program file's resources: its version record
 * (the fixed numbers and the strings of its first translation) and the sizes of the images in
 * its first icon group. Run under Wine on the setup and on the uninstaller it writes.
 *   pe_resources FILE
 * Prints, one per line:
 *   version A.B.C.D            the fixed file version
 *   NAME: VALUE                each string of the record that is present, in a fixed order
 *   icon W W W...              the widths of the icon group's images, in its order (256 for 0)
 *   manifest level=L dpiAware=D  from the manifest: the execution level it requests, and
 *                              whether it declares itself DPI-aware (- when it says nothing)
 * Exit status 0, or 1 when the file has no version record, no icon group or no manifest. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static BOOL CALLBACK firstName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR found) {
  (void)module;
  (void)type;
  *(LPWSTR*)found = name;
  return FALSE;
}

#pragma pack(push, 2)
typedef struct {
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
} GroupEntry;
typedef struct {
  WORD reserved, type, count;
  GroupEntry entries[1];
} Group;
#pragma pack(pop)

static int printIcons(const wchar_t* file) {
  HMODULE module = LoadLibraryExW(file, NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 0;
  LPWSTR name = NULL;
  EnumResourceNamesW(module, (LPCWSTR)RT_GROUP_ICON, firstName, (LONG_PTR)&name);
  HRSRC resource = name ? FindResourceW(module, name, (LPCWSTR)RT_GROUP_ICON) : NULL;
  const Group* group = resource ? (const Group*)LockResource(LoadResource(module, resource)) : NULL;
  if (group) {
    printf("icon");
    for (WORD i = 0; i < group->count; ++i) {
      printf(" %u", group->entries[i].width ? group->entries[i].width : 256u);
    }
    printf("\n");
  }
  FreeLibrary(module);
  return group != NULL;
}

/* The text of ELEMENT's ATTRIBUTE (ATTRIBUTE empty: the element's content), or "-". */
static void printFound(const char* name, const char* text, size_t size, const char* element,
                       const char* attribute) {
  char found[64] = "-";
  const char* end = text + size;
  for (const char* at = text; at + strlen(element) < end; ++at) {
    if (strncmp(at, element, strlen(element)) != 0) continue;
    const char* start = at;
    if (*attribute) {
      const char* name_at = strstr(at, attribute);
      if (!name_at || name_at >= end) break;
      start = name_at + strlen(attribute);
      if (*start++ != '"') break;
    } else {
      start = memchr(at, '>', (size_t)(end - at));
      if (!start++) break;
    }
    size_t length = 0;
    while (start + length < end && start[length] != '"' && start[length] != '<' &&
           length + 1 < sizeof found) {
      ++length;
    }
    memcpy(found, start, length);
    found[length] = '\0';
    break;
  }
  printf(" %s=%s", name, found);
}

static int printManifest(const wchar_t* file) {
  HMODULE module = LoadLibraryExW(file, NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 0;
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  const char* text = resource ? (const char*)LockResource(LoadResource(module, resource)) : NULL;
  if (text) {
    const size_t size = SizeofResource(module, resource);
    printf("manifest");
    printFound("level", text, size, "<requestedExecutionLevel", "level=");
    printFound("dpiAware", text, size, "<dpiAware", "");
    printf("\n");
  }
  FreeLibrary(module);
  return text != NULL;
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: pe_resources FILE\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  char* data = size ? (char*)malloc(size) : NULL;
  if (!data || !GetFileVersionInfoW(argv[1], 0, size, data)) {
    printf("no version record\n");
    return 1;
  }
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  if (VerQueryValueW(data, L"\\", (void**)&fixed, &length) && fixed) {
    printf("version %lu.%lu.%lu.%lu\n", (unsigned long)HIWORD(fixed->dwFileVersionMS),
           (unsigned long)LOWORD(fixed->dwFileVersionMS),
           (unsigned long)HIWORD(fixed->dwFileVersionLS),
           (unsigned long)LOWORD(fixed->dwFileVersionLS));
  }
  WORD* translation = NULL;
  if (VerQueryValueW(data, L"\\VarFileInfo\\Translation", (void**)&translation, &length) &&
      length >= 4) {
    static const wchar_t* const names[] = {L"ProductName",     L"ProductVersion", L"FileVersion",
                                           L"FileDescription", L"CompanyName",    L"LegalCopyright",
                                           L"OriginalFilename"};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
      wchar_t key[128];
      swprintf(key, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
               names[i]);
      wchar_t* value = NULL;
      if (VerQueryValueW(data, key, (void**)&value, &length) && value && length) {
        char utf8[1024];
        WideCharToMultiByte(CP_UTF8, 0, value, -1, utf8, sizeof utf8, NULL, NULL);
        printf("%ls: %s\n", names[i], utf8);
      }
    }
  }
  free(data);
  if (!printIcons(argv[1])) {
    printf("no icon group\n");
    return 1;
  }
  if (!printManifest(argv[1])) {
    printf("no manifest\n");
    return 1;
  }
  return 0;
}
