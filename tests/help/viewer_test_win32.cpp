// Tavisk.dll for real under wine64 and Xvfb: the platform's HTML Help control opens a help file
// compiled by the build (chm/sample.hhp) at its default topic and at its one mapped context, and
// the user guide (guide/Korvale.hhp) at its first page and at every page of its contents.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <initializer_list>
#include <regex>
#include <set>
#include <string>

#include "tavisk.h"

namespace {

constexpr uint32_t kMappedContext = 4711;  // IDH_CONTEXT in chm/sample.hhp

std::string besideThisProgram(const char* fileName) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory(path, length);
  return directory.substr(0, directory.rfind('\\') + 1) + fileName;
}

// The text of `page` as the help file holds it, read through the display name that the
// platform's compiled-help storage parses ("@MSITStore:FILE::/PAGE"); empty when the file has
// no such page.
std::string pageInHelpFile(const std::string& helpFile, const char* page) {
  const std::string name = "@MSITStore:" + helpFile + "::/" + page;
  const std::wstring wideName(name.begin(), name.end());
  std::string text;
  CLSID storageClass;
  IParseDisplayName* parser = nullptr;
  IBindCtx* context = nullptr;
  IMoniker* moniker = nullptr;
  IStream* stream = nullptr;
  ULONG eaten = 0;
  if (SUCCEEDED(CLSIDFromProgID(L"MSITStore", &storageClass)) &&
      SUCCEEDED(CoCreateInstance(storageClass, nullptr, CLSCTX_INPROC_SERVER, IID_IParseDisplayName,
                                 reinterpret_cast<void**>(&parser))) &&
      SUCCEEDED(CreateBindCtx(0, &context)) &&
      SUCCEEDED(parser->ParseDisplayName(context, const_cast<wchar_t*>(wideName.c_str()), &eaten,
                                         &moniker)) &&
      SUCCEEDED(moniker->BindToStorage(context, nullptr, IID_IStream,
                                       reinterpret_cast<void**>(&stream)))) {
    char buffer[4096];
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &read)) && read > 0) {
      text.append(buffer, read);
    }
  }
  for (IUnknown* object : std::initializer_list<IUnknown*>{stream, moniker, context, parser}) {
    if (object != nullptr) object->Release();
  }
  return text;
}

TEST(TaviskDll, OpensAHelpFileAtItsDefaultTopicAndAtAMappedContext) {
  const std::string helpFile = besideThisProgram("help_sample.chm");
  const std::string missing = besideThisProgram("no_such_help.chm");

  const HWND atDefault = static_cast<HWND>(launchHelp(helpFile.c_str()));
  EXPECT_TRUE(IsWindow(atDefault));
  const HWND atContext = static_cast<HWND>(launchHelpByTopicID(helpFile.c_str(), kMappedContext));
  EXPECT_TRUE(IsWindow(atContext));
  EXPECT_EQ(launchHelp(missing.c_str()), nullptr);
  EXPECT_EQ(launchHelpByTopicID(missing.c_str(), kMappedContext), nullptr);

  // The viewer's windows belong to this thread; close them rather than leave them to exit.
  for (const HWND window : {atDefault, atContext}) {
    if (IsWindow(window)) SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
  }
}

TEST(TaviskDll, OpensTheUserGuideAtItsFirstPageAndAtEveryPageOfItsContents) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  const std::string guide = besideThisProgram("Korvale.chm");
  std::set<HWND> windows{static_cast<HWND>(launchHelp(guide.c_str()))};
  EXPECT_TRUE(IsWindow(*windows.begin()));

  // The pages as the compiled contents name them, anchors left off.
  const std::string contents = pageInHelpFile(guide, "Korvale.hhc");
  const std::regex local(R"(name="Local" value="([^"#]+))");
  std::set<std::string> pages;
  for (auto it = std::sregex_iterator(contents.begin(), contents.end(), local);
       it != std::sregex_iterator(); ++it) {
    pages.insert((*it)[1]);
  }
  ASSERT_FALSE(pages.empty());
  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    // A page is opened by its name after the file's, as the window's F1 opens it.
    const HWND window = static_cast<HWND>(launchHelp((guide + "::/" + page).c_str()));
    EXPECT_TRUE(IsWindow(window));
    windows.insert(window);
    // The control opens a window for any name: the page itself must be in the file.
    EXPECT_NE(pageInHelpFile(guide, page.c_str()).find("</html>"), std::string::npos);
  }

  for (const HWND window : windows) {
    if (IsWindow(window)) SendMessageA(window, WM_CLOSE, 0, 0);
  }
  CoUninitialize();
}

}  // namespace
