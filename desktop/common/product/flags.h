#ifndef DESKTOP_COMMON_PRODUCT_FLAGS_H_
#define DESKTOP_COMMON_PRODUCT_FLAGS_H_

namespace base {
class FilePath;
}

namespace vexlo {

// The two process-wide switches that the crash reporter obeys. Each starts
// at a compiled-in value; Initialize settles it from the feature tables, the
// process command line and the browser's preferences, each later source
// winning over the earlier ones where the flag is overridable.
class Flags {
 public:
  Flags() = delete;

  // Starts over from the compiled-in values, then applies in order: the
  // browser feature table's default and overridability for the running
  // product; the switch "with-feature:<name>" with the value "on" or "off";
  // the preferences file at |preferences_path| ("browser.flags.<name>" 1 on,
  // 2 off, or the flag's own boolean preference). An unreadable or malformed
  // file is skipped. Call on the main thread before any reader.
  static void Initialize(const base::FilePath& preferences_path);

  // Whether the user lets crashes be reported.
  static bool IsMetricsReportingEnabled();
  // Whether a minidump is written beside the text crash log.
  static bool IsAlternativeCrashLoggingEnabled();
};

}  // namespace vexlo

#endif  // DESKTOP_COMMON_PRODUCT_FLAGS_H_
