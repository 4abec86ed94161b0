#include "desktop/launcher/installer/ipc/installer_message.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/observer_list.h"
#include "base/pickle.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

// Writes down every call, behind its name, ended by "|".
class RecordingObserver : public InstallerObserver {
 public:
  RecordingObserver(std::string* calls, const std::string& name)
      : calls_(calls), name_(name) {}

  void OnInstallationStarted() override { Record("started"); }
  void OnSubprocessStarting(bool flag) override {
    Record(flag ? "sub 1" : "sub 0");
  }
  void OnSubprocessFinished() override { Record("sub done"); }
  void SetTotalSteps(int32_t steps) override {
    Record("steps " + base::IntToString(steps));
  }
  void OnNextStep() override { Record("next"); }
  void OnInstallationFailed(int32_t error_code,
                            const base::string16& message,
                            const std::string& detail) override {
    Record("failed " + base::IntToString(error_code) + " " +
           base::UTF16ToUTF8(message) + "/" + detail);
  }
  void OnInstallationSucceeded() override { Record("succeeded"); }
  void OnInstallerTerminated(bool /*success*/) override { Record("terminated"); }

 private:
  void Record(const std::string& call) { *calls_ += name_ + call + "|"; }

  std::string* const calls_;
  const std::string name_;
};

// Keeps what it would send.
class CollectingEncoder : public InstallerMessageEncoder {
 public:
  std::vector<std::unique_ptr<base::Pickle>> messages;

 protected:
  void SendMessage(std::unique_ptr<base::Pickle> message) override {
    messages.push_back(std::move(message));
  }
};

// The magic field as it travels: its length, the text and one pad byte.
const char kMagicHex[] =
    "13000000"
    "3A496E7374616C6C6572206D6573736167653A00";

// A received datagram: |payload_hex| behind a header that matches it.
std::string MakeDatagram(const std::string& payload_hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < payload_hex.size(); i += 2) {
    unsigned byte = 0;
    EXPECT_TRUE(base::HexStringToUint(payload_hex.substr(i, 2), &byte));
    bytes.push_back(static_cast<char>(byte));
  }
  const uint32_t size = static_cast<uint32_t>(bytes.size());
  return std::string(reinterpret_cast<const char*>(&size), 4) + bytes;
}

// Each call's datagram, byte for byte; the last call is never sent.
TEST(InstallerMessageTest, EncodesEachCallExactly) {
  const struct {
    void (*call)(InstallerObserver*);
    const char* hex;  // After the header and the magic.
  } kCases[] = {
      {[](InstallerObserver* o) { o->OnInstallationStarted(); }, "02000000"},
      {[](InstallerObserver* o) { o->OnSubprocessStarting(true); },
       "0000000001000000"},
      {[](InstallerObserver* o) { o->OnSubprocessStarting(false); },
       "0000000000000000"},
      {[](InstallerObserver* o) { o->OnSubprocessFinished(); }, "01000000"},
      {[](InstallerObserver* o) { o->SetTotalSteps(7); }, "0300000007000000"},
      {[](InstallerObserver* o) { o->SetTotalSteps(-2); }, "03000000FEFFFFFF"},
      {[](InstallerObserver* o) { o->OnNextStep(); }, "04000000"},
      {[](InstallerObserver* o) {
         o->OnInstallationFailed(37050, L"ab\u00e9", "xyz");
       },
       "05000000BA900000"
       "0300000061006200E9000000"
       "0300000078797A00"},
      {[](InstallerObserver* o) { o->OnInstallationFailed(37058, L"", ""); },
       "05000000C2900000"
       "00000000"
       "00000000"},
      {[](InstallerObserver* o) { o->OnInstallationSucceeded(); }, "06000000"},
      {[](InstallerObserver* o) { o->OnInstallerTerminated(true); }, nullptr},
  };
  for (const auto& c : kCases) {
    CollectingEncoder encoder;
    c.call(&encoder);
    ASSERT_EQ(c.hex ? 1u : 0u, encoder.messages.size());
    if (!c.hex)
      continue;
    const base::Pickle& message = *encoder.messages[0];
    EXPECT_EQ(
        MakeDatagram(std::string(kMagicHex) + c.hex),
        std::string(static_cast<const char*>(message.data()), message.size()));
  }
}

// Every call travels and arrives as the same call, on every observer in the
// order in which they were added.
TEST(InstallerMessageTest, RoundTripsEveryCall) {
  CollectingEncoder encoder;
  encoder.OnInstallationStarted();
  encoder.OnSubprocessStarting(true);
  encoder.OnSubprocessFinished();
  encoder.SetTotalSteps(12);
  encoder.OnNextStep();
  encoder.OnInstallationFailed(37054, L"C:\\V\u00e9", "Cannot create");
  encoder.OnInstallationSucceeded();

  std::string calls;
  RecordingObserver first(&calls, "a:"), second(&calls, "b:");
  base::ObserverList<InstallerObserver> observers;
  observers.AddObserver(&first);
  observers.AddObserver(&second);
  for (const auto& message : encoder.messages) {
    // As a receiver sees it: bytes, not the sender's object.
    EXPECT_TRUE(DispatchInstallerMessage(
        base::Pickle(static_cast<const char*>(message->data()),
                     static_cast<int>(message->size())),
        &observers));
  }
  std::string expected;
  for (const char* call :
       {"started", "sub 1", "sub done", "steps 12", "next",
        "failed 37054 C:\\V\u00e9/Cannot create", "succeeded"}) {
    expected += std::string("a:") + call + "|b:" + call + "|";
  }
  EXPECT_EQ(expected, calls);
}

// What a receiver makes of datagrams, given as payload hex behind a
// matching header: foreign and malformed ones are dropped, only an unknown
// type is logged; a flag's low byte counts and trailing bytes are ignored.
TEST(InstallerMessageTest, ReadsOrDropsDatagrams) {
  const std::string m = kMagicHex;
  const struct {
    std::string hex;
    const char* call;  // Empty when dropped.
    bool logged;
  } kCases[] = {
      {m + "0000000000010000", "sub 0|", false},
      {m + "00000000FF000000", "sub 1|", false},
      {m + "0200000063000000", "started|", false},
      {m + "03000000FFFFFF7F09000000", "steps 2147483647|", false},
      {m + "05000000BA900000"
           "00000000"
           "00000000",
       "failed 37050 /|", false},
      // Magic one byte off, longer, shorter, missing; no type.
      {"13000000"
       "3A496E7374616C6C6572206D6573736167653B00"
       "02000000",
       "", false},
      {"14000000"
       "3A496E7374616C6C6572206D6573736167653A58"
       "02000000",
       "", false},
      {"12000000"
       "3A496E7374616C6C6572206D657373616765"
       "0000"
       "02000000",
       "", false},
      {"", "", false},
      {m, "", false},
      // Unknown types.
      {m + "07000000", "", true},
      {m + "FFFFFFFF", "", true},
      // Arguments missing or cut.
      {m + "00000000", "", false},
      {m + "03000000", "", false},
      {m + "05000000BA900000", "", false},
      {m + "05000000BA900000"
           "0200000061006200",
       "", false},
      {m + "05000000BA900000"
           "0200000061006200"
           "0500000078797A00",
       "", false},
      {m + "05000000BA900000"
           "FFFFFF7F",
       "", false},
  };
  for (const auto& c : kCases) {
    std::string calls;
    RecordingObserver observer(&calls, "");
    base::ObserverList<InstallerObserver> observers;
    observers.AddObserver(&observer);
    const std::string datagram = MakeDatagram(c.hex);
    ScopedLogCapture log;
    EXPECT_EQ(*c.call != 0, DispatchInstallerMessage(
                                base::Pickle(datagram.data(),
                                             static_cast<int>(datagram.size())),
                                &observers))
        << c.hex;
    EXPECT_EQ(c.call, calls) << c.hex;
    EXPECT_EQ(c.logged, log.Saw("Not a valid installer message type"));
  }
  // A header that does not match the datagram's length.
  std::string datagram = MakeDatagram(m + "02000000");
  datagram[0] += 4;
  base::ObserverList<InstallerObserver> none;
  EXPECT_FALSE(DispatchInstallerMessage(
      base::Pickle(datagram.data(), static_cast<int>(datagram.size())), &none));
}

// Failure texts too long for one datagram are cut, the user's text first,
// never inside a character, and the message still arrives.
TEST(InstallerMessageTest, CutsFailureTextsToFitOneDatagram) {
  const base::string16 m1000(1000, L'm');
  const base::string16 pair = L"\xD800\xDC00";
  const struct {
    base::string16 text;
    std::string detail;
    size_t text_size;
    size_t detail_size;
  } kCases[] = {
      // Exactly full: 44 fixed bytes, 1000 units, 4 bytes of detail.
      {m1000, "abcd", 1000, 4},
      {m1000 + L"m", "abcd", 1000, 4},
      {m1000 + L"m", "", 1001, 0},
      {m1000 + L"mmm", "", 1002, 0},
      {base::string16(5000, L'm'), "short", 998, 5},
      // The user's text goes whole before the detail is cut.
      {L"msg", std::string(3000, 'd'), 0, 2004},
      // A pair that would be split goes whole.
      {m1000 + L"m" + pair, "", 1001, 0},
      {base::string16(999, L'm') + pair + L"z", "abcd", 999, 4},
      // So does a UTF-8 sequence; stray continuation bytes are dropped.
      {L"", std::string(2003, 'd') + "\xC3\xA9", 0, 2003},
      {L"", std::string(3000, '\x80'), 0, 0},
  };
  for (const auto& c : kCases) {
    CollectingEncoder encoder;
    ScopedLogCapture log;
    encoder.OnInstallationFailed(37057, c.text, c.detail);
    ASSERT_EQ(1u, encoder.messages.size());
    EXPECT_EQ(c.text_size != c.text.size() || c.detail_size != c.detail.size(),
              log.Saw("Failure texts cut to fit one installer message"));
    EXPECT_LE(encoder.messages[0]->size(), kMaxInstallerMessageSize);

    std::string calls;
    RecordingObserver observer(&calls, "");
    base::ObserverList<InstallerObserver> observers;
    observers.AddObserver(&observer);
    EXPECT_TRUE(DispatchInstallerMessage(*encoder.messages[0], &observers));
    EXPECT_EQ("failed 37057 " +
                  base::UTF16ToUTF8(c.text.substr(0, c.text_size)) + "/" +
                  c.detail.substr(0, c.detail_size) + "|",
              calls);
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
