#include "instance_win32.h"

// After windows.h, which it needs.
#include <sddl.h>

#include <array>
#include <cstdint>
#include <string>

#include "handoff.h"

namespace korvale::desk {
namespace {

// The user's SID as text ("S-1-5-21-..."), or failing that the user's name.
std::wstring userTag() {
  std::wstring tag;
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<uint8_t> user(size);
    wchar_t* text = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
      tag = text;
      LocalFree(text);
    }
    CloseHandle(token);
  }
  if (tag.empty()) {
    std::array<wchar_t, 257> name{};
    DWORD length = name.size();
    tag = GetUserNameW(name.data(), &length) ? name.data() : L"unknown";
    for (wchar_t& c : tag) {
      if (c == L'\\') c = L'_';  // no namespace separators in an object's name
    }
  }
  return tag;
}

// A window that is ours to talk to: alive, and of the results window's class.
bool isDeskWindow(HWND window) {
  std::array<wchar_t, 32> name{};
  return window && IsWindow(window) &&
         GetClassNameW(window, name.data(), static_cast<int>(name.size())) > 0 &&
         std::wstring(name.data()) == L"KorvaleDesk";
}

bool handTo(HWND window, const std::vector<uint8_t>& message) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  AllowSetForegroundWindow(process);  // it comes to the front, as this start would have
  COPYDATASTRUCT data{};
  data.dwData = kHandoffTag;
  data.cbData = static_cast<DWORD>(message.size());
  data.lpData = const_cast<uint8_t*>(message.data());
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, SingleInstance::kSendWait,
                             &answer) != 0 &&
         answer == TRUE;
}

}  // namespace

SingleInstance::SingleInstance() {
  const std::wstring name = L"Local\\Korvale.Desk." + userTag();
  lock_ = CreateMutexW(nullptr, FALSE, name.c_str());
  block_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared),
                              (name + L".Window").c_str());
  if (block_) {
    shared_ = static_cast<Shared*>(
        MapViewOfFile(block_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Shared)));
  }
}

SingleInstance::~SingleInstance() {
  release();
  if (shared_) UnmapViewOfFile(shared_);
  if (block_) CloseHandle(block_);
  if (lock_) CloseHandle(lock_);
}

SingleInstance::Start SingleInstance::start(const std::vector<uint8_t>* message) {
  if (!lock_ || !shared_) return Start::kAlone;
  // Many starts at once take the lock in turn: wait as long as it passes from one to the next,
  // and give up only when it has not for kLockWait.
  for (LONG64 turns = InterlockedCompareExchange64(&shared_->turns, 0, 0);;) {
    const DWORD waited = WaitForSingleObject(lock_, kLockWait);
    // Abandoned: a start ended while it held the lock; what it left is checked below.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) break;
    const LONG64 now = InterlockedCompareExchange64(&shared_->turns, 0, 0);
    if (waited != WAIT_TIMEOUT || now == turns) return Start::kAlone;
    turns = now;
  }
  held_ = true;
  const auto window = reinterpret_cast<HWND>(
      static_cast<intptr_t>(InterlockedCompareExchange64(&shared_->window, 0, 0)));
  if (isDeskWindow(window)) {
    if (!message) {  // the window stays the one that takes requests
      release();
      return Start::kAlone;
    }
    if (handTo(window, *message)) {
      release();
      return Start::kHandedOff;
    }
  }
  // None, or one that closes or does not answer: this start's window takes its place.
  return Start::kFirst;
}

void SingleInstance::publish(HWND window) {
  if (!held_) return;
  InterlockedExchange64(&shared_->window, static_cast<LONG64>(reinterpret_cast<intptr_t>(window)));
  release();
}

void SingleInstance::withdraw(HWND window) {
  if (shared_) {
    InterlockedCompareExchange64(&shared_->window, 0,
                                 static_cast<LONG64>(reinterpret_cast<intptr_t>(window)));
  }
}

void SingleInstance::release() {
  if (!held_) return;
  InterlockedIncrement64(&shared_->turns);
  ReleaseMutex(lock_);
  held_ = false;
}

}  // namespace korvale::desk
