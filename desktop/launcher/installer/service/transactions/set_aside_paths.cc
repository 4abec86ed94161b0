#include "desktop/launcher/installer/service/transactions/set_aside_paths.h"

#include <algorithm>
#include <vector>

#include "base/files/file_util.h"
#include "base/lazy_instance.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace vexlo {
namespace installer {

namespace {

// How many numbered names are tried when the plain one is taken.
constexpr int kMaxNumberedNames = 1000;
constexpr wchar_t kSetAsideExtension[] = L".old";

struct Watched {
  base::Lock lock;
  std::vector<base::FilePath*> paths;
};

base::LazyInstance::Leaky<Watched> g_watched;

Watched& GetWatched() {
  return g_watched.Get();
}

// Whether |path| is |folder| or lies below it, in the file system's way of
// comparing names (without regard to case).
bool IsAtOrBelow(const base::string16& path, const base::string16& folder) {
  if (path.size() < folder.size() ||
      base::FilePath::CompareIgnoreCase(path.substr(0, folder.size()),
                                        folder) != 0) {
    return false;
  }
  return path.size() == folder.size() ||
         base::FilePath::IsSeparator(path[folder.size()]);
}

// Whether the characters of |text| from |begin| to |end| are digits, and
// there is one at least.
bool IsDigits(const base::string16& text, size_t begin, size_t end) {
  return begin < end &&
         std::all_of(text.begin() + begin, text.begin() + end,
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

}  // namespace

// static
void SetAsidePaths::Watch(base::FilePath* path) {
  Watched& watched = GetWatched();
  base::AutoLock lock(watched.lock);
  watched.paths.push_back(path);
}

// static
void SetAsidePaths::Forget(base::FilePath* path) {
  Watched& watched = GetWatched();
  base::AutoLock lock(watched.lock);
  watched.paths.erase(
      std::remove(watched.paths.begin(), watched.paths.end(), path),
      watched.paths.end());
}

// static
bool SetAsidePaths::Rename(const base::FilePath& from,
                           const base::FilePath& to,
                           DWORD flags) {
  if (!::MoveFileExW(from.value().c_str(), to.value().c_str(), flags))
    return false;
  const base::string16 old_prefix = from.StripTrailingSeparators().value();
  const base::string16 new_prefix = to.StripTrailingSeparators().value();
  Watched& watched = GetWatched();
  base::AutoLock lock(watched.lock);
  for (base::FilePath* path : watched.paths) {
    if (IsAtOrBelow(path->value(), old_prefix)) {
      *path =
          base::FilePath(new_prefix + path->value().substr(old_prefix.size()));
    }
  }
  return true;
}

// static
base::FilePath SetAsidePaths::FreeName(const base::FilePath& path) {
  // Two deletions of one path within a second, or a copy onto a path and
  // its deletion, would otherwise want the same name.
  const base::string16 stem = path.value() + L"." +
                              base::Uint64ToString16(static_cast<uint64_t>(
                                  base::Time::Now().ToTimeT()));
  base::FilePath name(stem + kSetAsideExtension);
  for (int number = 1; base::PathExists(name) && number <= kMaxNumberedNames;
       ++number) {
    name = base::FilePath(stem + L"." + base::IntToString16(number) +
                          kSetAsideExtension);
  }
  return base::PathExists(name) ? base::FilePath() : name;
}

// static
base::string16 SetAsidePaths::OriginalName(const base::string16& name) {
  const base::string16 extension = kSetAsideExtension;
  if (name.size() <= extension.size() ||
      !base::EndsWith16(name, extension,
                        base::CompareCase::INSENSITIVE_ASCII)) {
    return name;
  }
  const size_t end = name.size() - extension.size();
  size_t dot = name.rfind(L'.', end - 1);
  if (dot == base::string16::npos || dot == 0 ||
      !IsDigits(name, dot + 1, end)) {
    return name;
  }
  const size_t time_dot = name.rfind(L'.', dot - 1);
  if (time_dot != base::string16::npos && IsDigits(name, time_dot + 1, dot))
    dot = time_dot;
  return name.substr(0, dot);
}

// static
bool SetAsidePaths::IsSetAsideName(const base::FilePath& path) {
  const base::string16 name = path.BaseName().value();
  return OriginalName(name) != name;
}

}  // namespace installer
}  // namespace vexlo
