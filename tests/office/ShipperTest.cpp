// What the shipper sends and what it refuses before it connects: the batch as the
// office's ship_batch reads it (UTF-8, masked, withdrawn as state 7), a connection
// string that would not check the office's certificate, a password file others
// may read.
#include "office/Shipper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/text/Cp949.h"
#include "tests/support/TestSupport.h"

namespace {

journal::Change Change(std::int64_t id, std::int64_t version, journal::PrintState state, bool withdrawn = false) {
  journal::Change c;
  c.Row.Id = id;
  c.Row.At = "2026-12-09 10:11:12";
  c.Row.Kind = receipt::ReceiptKind::VoucherCancellation;
  c.Row.Number = "1000000000003";
  c.Row.Total = 1200;
  c.Row.Net = 1091;
  c.Row.Tax = 109;
  c.Row.ApprovalNumber = "A\"1\\";
  c.Row.OriginalApproval = platform::Utf8ToCp949("원") + "\x01";
  c.Row.Printed = state;
  c.Version = version;
  c.Withdrawn = withdrawn;
  return c;
}

}  // namespace

TEST(Shipper, BatchIsJsonInUtf8WithTheNumberMasked) {
  journal::Change settled = Change(7, 12, journal::PrintState::SettledCharged);
  settled.Row.SettledAt = "2026-12-09 10:20:00";
  EXPECT_EQ(office::BatchJson({Change(3, 9, journal::PrintState::InFlight, true), settled}),
            "[{\"row_id\":3,\"version\":9,\"at\":\"2026-12-09 10:11:12\",\"kind\":2,"
            "\"number_masked\":\"*********0003\",\"last4\":\"0003\",\"total\":1200,\"net\":1091,\"tax\":109,"
            "\"approval\":\"A\\\"1\\\\\",\"original_approval\":\"원\\u0001\",\"state\":7,\"settled_at\":null},"
            "{\"row_id\":7,\"version\":12,\"at\":\"2026-12-09 10:11:12\",\"kind\":2,"
            "\"number_masked\":\"*********0003\",\"last4\":\"0003\",\"total\":1200,\"net\":1091,\"tax\":109,"
            "\"approval\":\"A\\\"1\\\\\",\"original_approval\":\"원\\u0001\",\"state\":5,"
            "\"settled_at\":\"2026-12-09 10:20:00\"}]");
  EXPECT_EQ(office::BatchJson({}), "[]");
}

TEST(Shipper, ConnectionStringMustCheckTheOfficesCertificate) {
  const auto checked = [](const std::string& conninfo) {
    const auto result = office::ShippingConninfo(conninfo);
    const auto* refusal = std::get_if<office::Refusal>(&result);
    return refusal ? "refused: " + refusal->Why : std::get<std::string>(result);
  };
  EXPECT_EQ(checked("host=office.example user=c1"), "user='c1' host='office.example' sslmode=verify-full");
  EXPECT_EQ(checked("host=o sslmode=verify-full"), "host='o' sslmode=verify-full");
  EXPECT_EQ(checked("host=o sslrootcert='/x/o\\'s ca.crt'"), "host='o' sslrootcert='/x/o\\'s ca.crt' sslmode=verify-full");
  // A URI: the mode is libpq's keyword, not text in the database's name.
  const std::string uri = checked("postgresql://c1@office.example:5433/office");
  std::string error;
  const auto read = office::ParseConninfo(uri, error);
  ASSERT_TRUE(read) << uri << ": " << error;
  using Keywords = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(*read, (Keywords{{"user", "c1"}, {"dbname", "office"}, {"host", "office.example"}, {"port", "5433"},
                             {"sslmode", "verify-full"}}));
  for (const char* less : {"require", "verify-ca", "prefer", "disable"})
    EXPECT_EQ(checked(std::string("host=o sslmode=") + less).rfind("refused: ", 0), 0u) << less;
  EXPECT_NE(checked("postgresql://c1@o/office?sslmode=require").find("less than verify-full"), std::string::npos);
  EXPECT_NE(checked("host=o password=secret sslmode=verify-full").find("holds a password"), std::string::npos);
  EXPECT_EQ(checked("host='unterminated").rfind("refused: ", 0), 0u);
}

TEST(Shipper, PasswordFileOnlyItsOwnersAndNoLink) {
  testsupport::TempDir dir;
  const std::string file = dir.dir() + "password";
  const auto read = [](const std::string& path) {
    const auto result = office::ReadSecretFile(path);
    const auto* refusal = std::get_if<office::Refusal>(&result);
    return refusal ? "refused: " + refusal->Why : std::get<std::string>(result);
  };
  EXPECT_EQ(read(file).rfind("refused: ", 0), 0u);  // none there
  testsupport::WriteFile(file, "s3cret\nsecond line\n");
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  EXPECT_EQ(read(file), "s3cret");
  for (const mode_t open : {0640, 0604, 0620}) {
    ASSERT_EQ(chmod(file.c_str(), open), 0);
    EXPECT_NE(read(file).find("others may read"), std::string::npos) << std::oct << open;
  }
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  std::filesystem::create_symlink(file, dir.dir() + "link");
  EXPECT_EQ(read(dir.dir() + "link").rfind("refused: ", 0), 0u);
  testsupport::WriteFile(file, "\n");
  EXPECT_NE(read(file).find("empty"), std::string::npos);
}
