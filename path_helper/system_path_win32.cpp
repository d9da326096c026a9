// PATH in the registry, the machine's (the system environment) or the user's (HKCU\Environment),
// read and written whole with the registry API, so no length limit of the caller applies to it.
#include <windows.h>

#include <vector>

#include "system_path.h"

namespace korvale::path {
namespace {

constexpr wchar_t machineEnvironmentKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr wchar_t userEnvironmentKey[] = L"Environment";
constexpr wchar_t pathName[] = L"Path";

const char* whose(Scope scope) { return scope == Scope::user ? "user" : "system"; }

std::string failure(const std::string& what, LSTATUS status) {
  return what + " (system error " + std::to_string(status) + ")";
}

class Key {
 public:
  // Writing makes the user's environment key when it is missing (a new profile may have
  // none); the system's always exists.
  enum Use { read, write };
  Key(Scope scope, REGSAM access, Use use) {
    status_ = scope == Scope::machine
                  ? RegOpenKeyExW(HKEY_LOCAL_MACHINE, machineEnvironmentKey, 0, access, &key_)
              : use == write
                  ? RegCreateKeyExW(HKEY_CURRENT_USER, userEnvironmentKey, 0, nullptr, 0, access,
                                    nullptr, &key_, nullptr)
                  : RegOpenKeyExW(HKEY_CURRENT_USER, userEnvironmentKey, 0, access, &key_);
  }
  ~Key() {
    if (status_ == ERROR_SUCCESS) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  LSTATUS status() const { return status_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  LSTATUS status_;
};

}  // namespace

std::optional<StoredValue> readStoredPath(Scope scope, std::string& error) {
  const Key key(scope, KEY_QUERY_VALUE, Key::read);
  if (scope == Scope::user && key.status() == ERROR_FILE_NOT_FOUND) {
    StoredValue none;
    none.exists = false;
    return none;
  }
  if (key.status() != ERROR_SUCCESS) {
    error = failure(std::string("cannot open the ") + whose(scope) + " environment", key.status());
    return std::nullopt;
  }
  // The value may grow between the size query and the read: ask again until it fits.
  std::vector<BYTE> data(4096);
  DWORD type = 0;
  LSTATUS status;
  for (;;) {
    DWORD size = static_cast<DWORD>(data.size());
    status = RegQueryValueExW(key.get(), pathName, nullptr, &type, data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      data.resize(size + sizeof(wchar_t));
      continue;
    }
    data.resize(status == ERROR_SUCCESS ? size : 0);
    break;
  }
  if (status == ERROR_FILE_NOT_FOUND) {
    StoredValue none;
    none.exists = false;
    return none;
  }
  if (status != ERROR_SUCCESS) {
    error = failure(std::string("cannot read the ") + whose(scope) + " PATH", status);
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    error = std::string("the ") + whose(scope) + " PATH is not stored as text";
    return std::nullopt;
  }
  return fromRegistryData(
      {reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t)},
      type == REG_EXPAND_SZ);
}

bool writeStoredPath(Scope scope, const StoredValue& value, std::string& error) {
  const Key key(scope, KEY_SET_VALUE, Key::write);
  if (key.status() != ERROR_SUCCESS) {
    error = failure(std::string("cannot open the ") + whose(scope) + " environment for writing",
                    key.status());
    return false;
  }
  const std::wstring data = toRegistryData(value);
  const LSTATUS status =
      RegSetValueExW(key.get(), pathName, 0, value.expandable ? REG_EXPAND_SZ : REG_SZ,
                     reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size() * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) {
    error = failure(std::string("cannot write the ") + whose(scope) + " PATH", status);
    return false;
  }
  return true;
}

bool eraseStoredPath(Scope scope, std::string& error) {
  const Key key(scope, KEY_SET_VALUE, Key::read);
  LSTATUS status = key.status();
  if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.get(), pathName);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    error = failure(std::string("cannot delete the ") + whose(scope) + " PATH", status);
    return false;
  }
  return true;
}

std::wstring expandReferences(std::wstring_view text) {
  const std::wstring source(text);
  std::wstring expanded(source.size() + 256, L'\0');
  for (;;) {
    const DWORD needed = ExpandEnvironmentStringsW(source.c_str(), expanded.data(),
                                                   static_cast<DWORD>(expanded.size()));
    if (needed == 0) return source;
    if (needed <= expanded.size()) {
      expanded.resize(needed - 1);  // the count includes the NUL
      return expanded;
    }
    expanded.resize(needed);
  }
}

void announceEnvironmentChange() {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                      SMTO_ABORTIFHUNG, 5000, &result);
}

}  // namespace korvale::path
