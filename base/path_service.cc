#include "base/path_service.h"

#include <stdint.h>

#include <unordered_map>

#include "base/files/file_util.h"
#include "base/lazy_instance.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

typedef bool (*ProviderFunction)(int key, FilePath* result);

struct Provider {
  ProviderFunction function;
  const Provider* next;
};

// The providers, asked in this order. The Windows provider comes first, as
// the base provider's answers derive from its own.
const Provider kBaseProvider = {&PathProvider, nullptr};
const Provider kWindowsProvider = {&PathProviderWin, &kBaseProvider};

typedef std::unordered_map<int, FilePath> PathMap;

struct PathData {
  Lock lock;
  PathMap cache;      // Answers given so far.
  PathMap overrides;  // Answers set by callers.
  // Counts the overrides. An answer worked out while an override came in
  // may derive from the old path, so it is not cached.
  uint64_t generation = 0;
};

LazyInstance::Leaky<PathData> g_path_data;

// Looks |key| up in the cache, then in the overrides. When neither has it,
// |generation| receives the current generation.
bool GetFromCacheOrOverrides(PathData* path_data,
                             int key,
                             FilePath* result,
                             uint64_t* generation) {
  AutoLock locked(path_data->lock);
  PathMap::const_iterator it = path_data->cache.find(key);
  if (it != path_data->cache.end()) {
    *result = it->second;
    return true;
  }
  it = path_data->overrides.find(key);
  if (it != path_data->overrides.end()) {
    path_data->cache[key] = it->second;
    *result = it->second;
    return true;
  }
  *generation = path_data->generation;
  return false;
}

}  // namespace

// static
bool PathService::Get(int key, FilePath* result) {
  if (key == DIR_CURRENT)
    return GetCurrentDirectory(result);

  PathData* path_data = g_path_data.Pointer();
  uint64_t generation = 0;
  if (GetFromCacheOrOverrides(path_data, key, result, &generation))
    return true;

  // The providers run without the lock: they may ask for other keys.
  FilePath path;
  for (const Provider* provider = &kWindowsProvider; provider;
       provider = provider->next) {
    if (provider->function(key, &path))
      break;
  }
  if (path.empty())
    return false;
  if (path.ReferencesParent()) {
    path = MakeAbsoluteFilePath(path);
    if (path.empty())
      return false;
  }

  *result = path;
  AutoLock locked(path_data->lock);
  if (path_data->generation == generation)
    path_data->cache[key] = path;
  return true;
}

// static
bool PathService::OverrideAndCreateIfNeeded(int key,
                                            const FilePath& path,
                                            bool is_absolute,
                                            bool create) {
  FilePath file_path = path;
  if (create && !PathExists(file_path) && !CreateDirectory(file_path))
    return false;
  if (!is_absolute) {
    file_path = MakeAbsoluteFilePath(file_path);
    if (file_path.empty())
      return false;
  }

  PathData* path_data = g_path_data.Pointer();
  AutoLock locked(path_data->lock);
  path_data->cache.clear();
  path_data->overrides[key] = file_path;
  ++path_data->generation;
  return true;
}

}  // namespace base
