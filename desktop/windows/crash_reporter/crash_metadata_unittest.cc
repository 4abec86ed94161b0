#include "desktop/windows/crash_reporter/crash_metadata.h"

#include <windows.h>

#include <wchar.h>

#include <string>
#include <utility>
#include <vector>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Fetched crash keys made from {name, value} rows; names and values of 64
// units keep no terminator, as in a full slot.
class Keys {
 public:
  Keys(std::initializer_list<std::pair<std::wstring, std::wstring>> rows) {
    for (const auto& row : rows) {
      CrashKeyEntry entry;
      memset(&entry, 0, sizeof(entry));
      wmemcpy(entry.name, row.first.data(),
              std::min<size_t>(row.first.size(), 64));
      wmemcpy(entry.value, row.second.data(),
              std::min<size_t>(row.second.size(), 64));
      entries_.push_back(entry);
    }
  }
  CrashKeySet set() const {
    return CrashKeySet{const_cast<CrashKeyEntry*>(entries_.data()),
                       entries_.size()};
  }

 private:
  std::vector<CrashKeyEntry> entries_;
};

class ScopedEnvironment {
 public:
  ScopedEnvironment(const std::wstring& name, const std::wstring& value)
      : name_(name) {
    ::SetEnvironmentVariableW(name.c_str(), value.c_str());
  }
  ~ScopedEnvironment() { ::SetEnvironmentVariableW(name_.c_str(), nullptr); }

 private:
  const std::wstring name_;
};

Pairs SystemLines() {
  const CrashMetadata* system = CrashMetadata::Get();
  return {{"os_version", system->os_version()},
          {"os_service_pack_version", system->os_service_pack_version()},
          {"cpu_architecture", system->cpu_architecture()},
          {"cpu_level", system->cpu_level()},
          {"cpu_revision", system->cpu_revision()}};
}

std::wstring EmailVariable() {
  return base::UTF8ToUTF16(
      base::ToUpperASCII(ProductConfiguration::GetProductName()) +
      "_CRASH_EMAIL");
}

TEST(CrashMetadataTest, TheLogMetadataKeepsPlainKeysThenListsSystemMemory) {
  const std::wstring full_name(64, L'n');
  Keys keys = {{L"version", L"1.2.3.4"},
               {L"process_type", L"installer"},
               {L"bad name", L"x"},
               {L"a/b", L"x"},
               {L"aAzZ09.-_", L"v"},
               {full_name, L"too long"},
               {full_name.substr(1), L"63 units"},
               {L"ptime", L"5000"},
               {L"modules", L"a.exe:1:1:a::"},
               {L"active_url", L"https://a"},
               {L"buildset", L"1"},
               {L"kronta_test", L""},
               {L"enabled_extensions", L"e1"},
               {L"empty", L""},
               {L"enabled_extensions", L"e2"},
               {L"build", L"77"},
               {L"origin", L"Wirn"}};
  CrashReportData data;
  CollectCrashKeyMetadata(keys.set(), &data);
  AddMemoryMetadata(1, 18446744073709551615u, 0, &data);
  Pairs expected = {
      {"process_type", "installer"},      {"aAzZ09.-_", "v"},
      {std::string(63, 'n'), "63 units"}, {"origin", "Wirn"},
      {"enabled_extensions", "e1e2"},     {"disabled_extensions", ""},
      {"blacklisted_extensions", ""},     {"terminated_extensions", ""},
      {"third_party_installs", ""}};
  for (const auto& line : SystemLines())
    expected.push_back(line);
  expected.insert(expected.end(),
                  {{"mem_working_set_size", "1"},
                   {"mem_peak_working_set_size", "18446744073709551615"},
                   {"mem_private_usage", "0"}});
  EXPECT_EQ(expected, data.metadata);
  EXPECT_EQ("1.2.3.4", data.version);
  EXPECT_EQ("77", data.build);
  EXPECT_EQ(ProductConfiguration::GetCrashLogProductSuffix(),
            data.product_suffix);

  Keys kronta = {{L"kronta_test", L"k1"}, {L"kronta_test", L"k2"}};
  CrashReportData with_kronta;
  CollectCrashKeyMetadata(kronta.set(), &with_kronta);
  ASSERT_LE(1u, with_kronta.metadata.size());
  EXPECT_EQ(std::make_pair(std::string("kronta_test"), std::string("k1k2")),
            with_kronta.metadata[0]);
  EXPECT_EQ(ProductInfo::GetVersionString(), with_kronta.version);
  EXPECT_EQ(base::IntToString(ProductInfo::GetBuildNumber()),
            with_kronta.build);
}

TEST(CrashMetadataTest, TheReporterDescribesItsOwnCrash) {
  CrashReportData data;
  data.metadata.emplace_back("stale", "1");
  SetReporterCrashReportData(&data);
  EXPECT_EQ((Pairs{{"process_type", "crash_reporter"}}), data.metadata);
  EXPECT_EQ(ProductInfo::GetVersionString(), data.version);
}

TEST(CrashMetadataTest, LookupsStopAfterSixtyFourUnits) {
  const std::wstring full(64, L'v');
  Keys keys = {{L"process_type", L"browser"},
               {std::wstring(64, L'n'), full},
               {L"process_type", L"other"}};
  ASSERT_TRUE(FindCrashKeyEntry(keys.set(), std::wstring(64, L'n').c_str()));
  EXPECT_FALSE(FindCrashKeyEntry(keys.set(), std::wstring(63, L'n').c_str()));
  std::wstring value;
  EXPECT_TRUE(
      GetCrashKeyValue(keys.set(), std::wstring(64, L'n').c_str(), &value));
  EXPECT_EQ(full, value);
  EXPECT_TRUE(IsBrowserProcessCrash(keys.set()));
  EXPECT_FALSE(GetJoinedCrashKeyValue(keys.set(), L"missing", &value));
  EXPECT_FALSE(GetCrashKeyValue(keys.set(), L"missing", &value));
}

TEST(CrashMetadataTest, TextLogFieldsFollowUptimeOriginAndUrl) {
  const std::wstring url_part(63, L'u');
  const struct {
    const char* name;
    Keys keys;
    UploadFields expected;
  } kCases[] = {
      {"only ptime, 999", {{L"ptime", L"999"}}, {}},
      {"ptime 1000", {{L"ptime", L"1000"}}, {{L"CrashUptime", L"1"}}},
      {"ptime of 13 units",
       {{L"ptime", L"1234567890123"}},
       {{L"CrashUptime", L"1234567890"}}},
      {"ptime of 14 units", {{L"ptime", L"12345678901234"}}, {}},
      {"kronta wins over origin",
       {{L"origin", L"Wirn"}, {L"kronta_test", L"x"}},
       {{L"origin", L"Kronta"}}},
      {"origin Wirn", {{L"origin", L"Wirn"}}, {{L"origin", L"Wirn"}}},
      {"other origin", {{L"origin", L"Wirnx"}}, {}},
      {"url over slots",
       {{L"active_url", url_part}, {L"active_url", L""}, {L"active_url", L"z"}},
       {{L"url", url_part + L"z"}}},
      {"browser sends no url",
       {{L"process_type", L"browser"}, {L"active_url", L"a"}},
       {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    UploadFields fields;
    GetCrashLogUploadFields(c.keys.set(), &fields);
    AddStacktraceId(L"", &fields);
    EXPECT_EQ(c.expected, fields);
  }
  UploadFields fields;
  AddStacktraceId(L"abc", &fields);
  EXPECT_EQ((UploadFields{{L"stacktraceId", L"abc"}}), fields);
}

TEST(CrashMetadataTest, TheEmailIsSentUpTo191Units) {
  const struct {
    size_t length;
    bool sent;
  } kCases[] = {{1, true}, {191, true}, {192, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.length);
    ScopedEnvironment email(EmailVariable(), std::wstring(c.length, L'e'));
    UploadFields log_fields;
    GetReporterCrashLogUploadFields(&log_fields);
    UploadFields dump_fields;
    GetReporterMinidumpUploadFields(&dump_fields);
    EXPECT_EQ(c.sent ? 1u : 0u, log_fields.count(L"email"));
    EXPECT_EQ(c.sent ? 1u : 0u, dump_fields.count(L"Email"));
    EXPECT_EQ(L"crash_reporter", dump_fields.at(L"ProcessType"));
  }
}

TEST(CrashMetadataTest, MinidumpFieldsMapKeysAndFallBackToTheBuild) {
  const std::wstring url_part(63, L'u');
  Keys keys = {{L"process_type", L"browser"},
               {L"active_url", url_part},
               {L"active_url", L"z"},
               {L"gpu_vendor_id", L""},
               {L"version", L"9.9"},
               {L"buildset", L"12345"},
               {L"build_request_time", L"20160412_220052"},
               {L"origin", L"Wirn"}};
  UploadFields fields;
  fields[L"Version"] = L"kept";
  GetMinidumpUploadFields(keys.set(), &fields);
  EXPECT_EQ(url_part + L"z", fields.at(L"URL"));
  EXPECT_EQ(L"", fields.at(L"gpu_vendor_id"));
  EXPECT_EQ(0u, fields.count(L"gpu_device_id"));
  EXPECT_EQ(L"kept9.9", fields.at(L"Version"));
  EXPECT_EQ(L"browser", fields.at(L"ProcessType"));
  EXPECT_EQ(L"Wirn", fields.at(L"Origin"));
  EXPECT_EQ(L"20160412012345", fields.at(L"BuildID"));
  EXPECT_EQ(L"VexloDesktop", fields.at(L"ProductName"));
  EXPECT_EQ(base::IntToString16(ProductInfo::GetBuildNumber()),
            fields.at(L"UBN"));
  EXPECT_EQ(L"browser-syms", fields.at(L"symbols-package"));
  EXPECT_EQ(GetReleaseChannelName(), fields.at(L"ReleaseChannel"));

  Keys tests = {{L"process_type", L"browser_tests"}};
  UploadFields test_fields;
  GetMinidumpUploadFields(tests.set(), &test_fields);
  EXPECT_EQ(L"tests-syms", test_fields.at(L"symbols-package"));
  EXPECT_EQ(GetDefaultBuildId(), test_fields.at(L"BuildID"));
  EXPECT_EQ(0u, test_fields.count(L"Origin"));
}

TEST(CrashMetadataTest, BuildIdsPadTheBuildset) {
  EXPECT_EQ(L"20160412012345", MakeBuildId(L"12345", L"20160412_220052"));
  EXPECT_EQ(L"2016123456", MakeBuildId(L"123456", L"2016"));
  EXPECT_EQ(L"201604121234567", MakeBuildId(L"1234567", L"20160412_2"));
  EXPECT_EQ(L"20160412000000", MakeBuildId(L"", L"20160412"));
  const std::wstring time = base::UTF8ToUTF16(ProductInfo::GetBuildTime());
  EXPECT_EQ(time.substr(0, 8), GetDefaultBuildId().substr(0, 8));
  Keys empty_buildset = {{L"buildset", L""}};
  EXPECT_EQ(time.substr(0, 8) + L"000000",
            GetBuildIdFromCrashKeys(empty_buildset.set()));
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
