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

// Writes down every call as one line.
class RecordingObserver : public InstallerObserver {
 public:
  explicit RecordingObserver(std::vector<std::string>* calls,
                             const std::string& name = "")
      : calls_(calls), name_(name) {}

  void OnInstallationStarted() override { Record("started"); }
  void OnSubprocessStarting(bool flag) override {
    Record(std::string("subprocess ") + (flag ? "1" : "0"));
  }
  void OnSubprocessFinished() override { Record("subprocess finished"); }
  void SetTotalSteps(int32_t steps) override {
    Record("steps " + base::IntToString(steps));
  }
  void OnNextStep() override { Record("next"); }
  void OnInstallationFailed(int32_t error_code,
                            const base::string16& message,
                            const std::string& detail) override {
    Record("failed " + base::IntToString(error_code) + " " +
           base::UTF16ToUTF8(message) + "|" + detail);
  }
  void OnInstallationSucceeded() override { Record("succeeded"); }
  void OnInstallerTerminated(bool success) override {
    Record(std::string("terminated ") + (success ? "1" : "0"));
  }

 private:
  void Record(const std::string& call) { calls_->push_back(name_ + call); }

  std::vector<std::string>* const calls_;
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

std::string ToHex(const base::Pickle& message) {
  return base::HexEncode(message.data(), message.size());
}

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

bool Dispatch(const std::string& datagram,
              base::ObserverList<InstallerObserver>* observers) {
  return DispatchInstallerMessage(
      base::Pickle(datagram.data(), static_cast<int>(datagram.size())),
      observers);
}

// The magic field as it travels: its length, the text and one pad byte.
const char kMagicHex[] =
    "13000000"
    "3A496E7374616C6C6572206D6573736167653A00";

// Each call's datagram, byte for byte.
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
       "05000000"
       "BA900000"
       "03000000"
       "61006200E9000000"
       "03000000"
       "78797A00"},
      {[](InstallerObserver* o) { o->OnInstallationFailed(37058, L"", ""); },
       "05000000"
       "C2900000"
       "00000000"
       "00000000"},
      {[](InstallerObserver* o) { o->OnInstallationSucceeded(); }, "06000000"},
  };
  for (const auto& c : kCases) {
    CollectingEncoder encoder;
    c.call(&encoder);
    ASSERT_EQ(1u, encoder.messages.size()) << c.hex;
    const std::string payload = std::string(kMagicHex) + c.hex;
    char header[9];
    snprintf(header, sizeof(header), "%02X000000",
             static_cast<unsigned>(payload.size() / 2));
    EXPECT_EQ(header + payload, ToHex(*encoder.messages[0]));
  }
  CollectingEncoder encoder;
  encoder.OnInstallerTerminated(true);
  EXPECT_TRUE(encoder.messages.empty());
  // The two sizes the wire format names.
  encoder.OnInstallationStarted();
  encoder.SetTotalSteps(7);
  EXPECT_EQ(32u, encoder.messages[0]->size());
  EXPECT_EQ(36u, encoder.messages[1]->size());
}

// Every call travels and arrives as the same call, on every observer in the
// order they were added.
TEST(InstallerMessageTest, RoundTripsEveryCall) {
  CollectingEncoder encoder;
  encoder.OnInstallationStarted();
  encoder.OnSubprocessStarting(true);
  encoder.OnSubprocessStarting(false);
  encoder.OnSubprocessFinished();
  encoder.SetTotalSteps(12);
  encoder.OnNextStep();
  encoder.OnInstallationFailed(37054, L"C:\\Pf\\V\u00e9", "Cannot create");
  encoder.OnInstallationFailed(37050, L"", "");
  encoder.OnInstallationSucceeded();

  std::vector<std::string> calls;
  RecordingObserver first(&calls, "a:"), second(&calls, "b:");
  base::ObserverList<InstallerObserver> observers;
  observers.AddObserver(&first);
  observers.AddObserver(&second);
  for (const auto& message : encoder.messages) {
    // As a receiver sees it: bytes, not the sender's object.
    const base::Pickle received(static_cast<const char*>(message->data()),
                                static_cast<int>(message->size()));
    EXPECT_TRUE(DispatchInstallerMessage(received, &observers));
  }
  const std::vector<std::string> expected = {
      "a:started",
      "b:started",
      "a:subprocess 1",
      "b:subprocess 1",
      "a:subprocess 0",
      "b:subprocess 0",
      "a:subprocess finished",
      "b:subprocess finished",
      "a:steps 12",
      "b:steps 12",
      "a:next",
      "b:next",
      "a:failed 37054 C:\\Pf\\V\u00e9|Cannot create",
      "b:failed 37054 C:\\Pf\\V\u00e9|Cannot create",
      "a:failed 37050 |",
      "b:failed 37050 |",
      "a:succeeded",
      "b:succeeded"};
  EXPECT_EQ(expected, calls);
}

// Refusal of foreign and malformed datagrams, given as payload hex after
// the header (which is computed unless the case gives a whole datagram).
TEST(InstallerMessageTest, DropsMalformedMessages) {
  const std::string magic = kMagicHex;
  const struct {
    std::string payload_hex;
    bool logged;
  } kCases[] = {
      // Magic one byte off, longer, shorter.
      {"13000000"
       "3A496E7374616C6C6572206D6573736167653B00"
       "02000000",
       false},
      {"14000000"
       "3A496E7374616C6C6572206D6573736167653A58"
       "02000000",
       false},
      {"12000000"
       "3A496E7374616C6C6572206D657373616765"
       "0000"
       "02000000",
       false},
      // No magic at all, magic without a type.
      {"", false},
      {magic, false},
      // Unknown types.
      {magic + "07000000", true},
      {magic + "FFFFFFFF", true},
      // Types whose arguments are missing or cut.
      {magic + "00000000", false},
      {magic + "03000000", false},
      {magic + "05000000", false},
      {magic + "05000000"
               "BA900000",
       false},
      {magic + "05000000"
               "BA900000"
               "02000000"
               "61006200",
       false},
      {magic + "05000000"
               "BA900000"
               "02000000"
               "61006200"
               "05000000"
               "78797A00",
       false},
      {magic + "05000000"
               "BA900000"
               "FFFFFF7F",
       false},
  };
  std::vector<std::string> calls;
  RecordingObserver observer(&calls);
  base::ObserverList<InstallerObserver> observers;
  observers.AddObserver(&observer);
  for (const auto& c : kCases) {
    ScopedLogCapture log;
    EXPECT_FALSE(Dispatch(MakeDatagram(c.payload_hex), &observers))
        << c.payload_hex;
    EXPECT_EQ(c.logged, log.Saw("Not a valid installer message type"))
        << c.payload_hex;
  }
  EXPECT_TRUE(calls.empty());

  // A header that does not match the datagram's length.
  std::string datagram = MakeDatagram(magic + "02000000");
  datagram[0] += 4;
  EXPECT_FALSE(Dispatch(datagram, &observers));
  EXPECT_TRUE(calls.empty());
}

// Only the low byte of a flag counts; bytes after the arguments are
// ignored.
TEST(InstallerMessageTest, ReadsFieldsAsTheWireFormatSays) {
  const struct {
    const char* hex;
    const char* call;
  } kCases[] = {
      {"0000000000010000", "subprocess 0"},
      {"0000000001000000", "subprocess 1"},
      {"00000000FF000000", "subprocess 1"},
      {"0200000063000000", "started"},
      {"03000000FFFFFF7F09000000", "steps 2147483647"},
  };
  for (const auto& c : kCases) {
    std::vector<std::string> calls;
    RecordingObserver observer(&calls);
    base::ObserverList<InstallerObserver> observers;
    observers.AddObserver(&observer);
    EXPECT_TRUE(
        Dispatch(MakeDatagram(std::string(kMagicHex) + c.hex), &observers));
    EXPECT_EQ(std::vector<std::string>({c.call}), calls) << c.hex;
  }
}

// An observer that takes another out of the list while it is told.
class RemovingObserver : public RecordingObserver {
 public:
  RemovingObserver(std::vector<std::string>* calls,
                   base::ObserverList<InstallerObserver>* list,
                   InstallerObserver* victim)
      : RecordingObserver(calls, "r:"), list_(list), victim_(victim) {}
  void OnNextStep() override {
    RecordingObserver::OnNextStep();
    list_->RemoveObserver(victim_);
  }

 private:
  base::ObserverList<InstallerObserver>* const list_;
  InstallerObserver* const victim_;
};

TEST(InstallerMessageTest, SkipsObserversRemovedWhileTold) {
  std::vector<std::string> calls;
  base::ObserverList<InstallerObserver> observers;
  RecordingObserver last(&calls, "l:");
  RemovingObserver remover(&calls, &observers, &last);
  observers.AddObserver(&remover);
  observers.AddObserver(&last);
  CollectingEncoder encoder;
  encoder.OnNextStep();
  encoder.OnNextStep();
  for (const auto& message : encoder.messages)
    EXPECT_TRUE(DispatchInstallerMessage(*message, &observers));
  EXPECT_EQ(std::vector<std::string>({"r:next", "r:next"}), calls);

  // Nobody to tell: nothing happens.
  base::ObserverList<InstallerObserver> none;
  EXPECT_TRUE(DispatchInstallerMessage(*encoder.messages[0], &none));
}

// Failure texts too long for one datagram are cut, the user's text first,
// never inside a character, and the message still arrives.
TEST(InstallerMessageTest, CutsFailureTextsToFitOneDatagram) {
  const base::string16 pair = L"\U0001F600";  // One surrogate pair.
  const struct {
    base::string16 text;
    std::string detail;
    size_t text_size;
    size_t detail_size;
  } kCases[] = {
      // Exactly full: 44 fixed bytes, 1000 units, 4 bytes of detail.
      {base::string16(1000, L'm'), "abcd", 1000, 4},
      {base::string16(1001, L'm'), "abcd", 1000, 4},
      {base::string16(1001, L'm'), "", 1001, 0},
      {base::string16(1003, L'm'), "", 1002, 0},
      {base::string16(5000, L'm'), "short", 998, 5},
      // The user's text goes whole before the detail is cut.
      {L"", std::string(3000, 'd'), 0, 2004},
      {L"msg", std::string(3000, 'd'), 0, 2004},
      // A pair that would be split goes whole.
      {base::string16(1001, L'm').replace(1001, 0, pair), "", 1001, 0},
      {base::string16(999, L'm') + pair + L"z", "abcd", 999, 4},
      {base::string16(1001, L'm') + L"\xD800\xDC00", "", 1001, 0},
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

    base::PickleIterator iterator(*encoder.messages[0]);
    std::string magic;
    int type = 0, code = 0;
    base::string16 text;
    std::string detail;
    ASSERT_TRUE(iterator.ReadString(&magic) && iterator.ReadInt(&type) &&
                iterator.ReadInt(&code) && iterator.ReadString16(&text) &&
                iterator.ReadString(&detail));
    EXPECT_EQ(37057, code);
    EXPECT_EQ(c.text_size, text.size()) << c.text.size();
    EXPECT_EQ(c.detail_size, detail.size()) << c.detail.size();
    EXPECT_EQ(c.text.substr(0, text.size()), text);
    EXPECT_EQ(c.detail.substr(0, detail.size()), detail);
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
