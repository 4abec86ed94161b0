#include "desktop/launcher/installer/wininet/proxy_credentials.h"

#include <windows.h>

#include <wininet.h>

#include <vector>

namespace vexlo {
namespace installer {

namespace {

// Room for a user name or password of a usual length at the first try.
const size_t kInitialQueryLength = 256;

void Wipe(base::string16* text) {
  if (!text->empty())
    SecureZeroMemory(&(*text)[0], text->size() * sizeof(wchar_t));
  text->clear();
}

void Wipe(std::vector<wchar_t>* buffer) {
  SecureZeroMemory(buffer->data(), buffer->size() * sizeof(wchar_t));
}

// The string option |option| of |handle|; false when the handle has no
// such option. The buffer keeps a terminator of its own, since the length
// WinINet reports back counts bytes on some builds and characters on
// others.
bool QueryString(HINTERNET handle, DWORD option, base::string16* value) {
  std::vector<wchar_t> buffer(kInitialQueryLength);
  bool found = false;
  for (int attempt = 0; attempt < 2 && !found; ++attempt) {
    DWORD size = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    if (InternetQueryOptionW(handle, option, buffer.data(), &size)) {
      value->assign(buffer.data(), wcsnlen(buffer.data(), buffer.size() - 1));
      found = true;
    } else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
      Wipe(&buffer);
      buffer.assign(size + 2, L'\0');
    } else {
      break;
    }
  }
  Wipe(&buffer);
  return found;
}

bool SetString(HINTERNET handle, DWORD option, const base::string16& value) {
  return InternetSetOptionW(handle, option, const_cast<wchar_t*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) != FALSE;
}

}  // namespace

ProxyCredentials::~ProxyCredentials() {
  Clear();
}

bool ProxyCredentials::ReadFrom(std::initializer_list<void*> handles) {
  for (void* handle : handles) {
    base::string16 username;
    base::string16 password;
    // One that the handle lacks stays empty, as the user left it.
    if (handle) {
      QueryString(handle, INTERNET_OPTION_PROXY_USERNAME, &username);
      QueryString(handle, INTERNET_OPTION_PROXY_PASSWORD, &password);
    }
    const bool found = !username.empty() || !password.empty();
    if (found) {
      Clear();
      username_.swap(username);
      password_.swap(password);
    }
    Wipe(&username);
    Wipe(&password);
    if (found)
      return true;
  }
  return false;
}

bool ProxyCredentials::ApplyTo(void* request) const {
  if (empty())
    return true;
  // The password first: a request with a user name and no password brings
  // the test platform's WinINet down when the proxy asks for them.
  return SetString(request, INTERNET_OPTION_PROXY_PASSWORD, password_) &&
         SetString(request, INTERNET_OPTION_PROXY_USERNAME, username_);
}

void ProxyCredentials::Clear() {
  Wipe(&username_);
  Wipe(&password_);
}

}  // namespace installer
}  // namespace vexlo
