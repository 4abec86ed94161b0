#include "base/files/file_tracing.h"

namespace base {

namespace {

FileTracing::Provider* g_provider = nullptr;

}  // namespace

FileTracing::ScopedEnabler::ScopedEnabler() : provider_(g_provider) {
  if (provider_)
    provider_->FileTracingEnable(this);
}

FileTracing::ScopedEnabler::~ScopedEnabler() {
  if (provider_)
    provider_->FileTracingDisable(this);
}

FileTracing::ScopedTrace::ScopedTrace(const char* name,
                                      const ScopedEnabler* id,
                                      const FilePath& path,
                                      int64_t size)
    : provider_(nullptr), name_(name), id_(id) {
  if (!IsCategoryEnabled())
    return;
  provider_ = g_provider;
  provider_->FileTracingEventBegin(name_, id_, path, size);
}

FileTracing::ScopedTrace::~ScopedTrace() {
  if (provider_)
    provider_->FileTracingEventEnd(name_, id_);
}

bool FileTracing::IsCategoryEnabled() {
  return g_provider && g_provider->FileTracingCategoryIsEnabled();
}

void FileTracing::SetProvider(Provider* provider) {
  g_provider = provider;
}

}  // namespace base
