#include "catalogue/recovery_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "catalogue/display_format.h"
#include "platform/filetime.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace vexlo::catalogue {
namespace {

TEST(RecoveryReport, XmlTextIsEscapedAndCleaned) {
  struct Case {
    std::string_view text;
    const char* xml;
  } cases[] = {
      {"plain.jpg", "plain.jpg"},
      {"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c&apos;"},
      {"Grüße 日本 😀", "Grüße 日本 😀"},  // beyond the basic plane too
      {"tab\tnew\nline", "tab\tnew\nline"},
      {std::string_view("nul\0bell\x07", 9),
       "nul\xEF\xBF\xBD"
       "bell\xEF\xBF\xBD"},
      {"bad\xFF"
       "byte",
       "bad\xEF\xBF\xBD"
       "byte"},
  };
  for (const Case& c : cases) EXPECT_EQ(XmlEscaped(c.text), c.xml) << c.text;
}

TEST(RecoveryReport, TimesAsTheMediumCarriesThem) {
  struct Case {
    uint64_t filetime;
    const char* text;
  } cases[] = {
      {0, ""},
      {platform::FiletimeFromCalendar(2026, 4, 3, 9, 5, 6), "2026-04-03T09:05:06"},
      {platform::FiletimeFromCalendar(2026, 4, 3, 9, 5, 6, 500), "2026-04-03T09:05:06.5"},
      {platform::FiletimeFromCalendar(1980, 1, 1, 0, 0, 0) + 1, "1980-01-01T00:00:00.0000001"},
  };
  for (const Case& c : cases) EXPECT_EQ(IsoTimeText(c.filetime, true), c.text);
  EXPECT_EQ(IsoTimeText(platform::FiletimeFromCalendar(2026, 4, 3, 9, 5, 6, 500)),
            "2026-04-03T09:05:06")
      << "seconds only unless asked";
}

TEST(RecoveryReport, FormatFollowsTheSuffix) {
  EXPECT_EQ(ReportFormatFor("r.xml"), ReportFormat::kDfxml);
  EXPECT_EQ(ReportFormatFor("/a/r.DFXML"), ReportFormat::kDfxml);
  EXPECT_EQ(ReportFormatFor("r.json"), ReportFormat::kJson);
  EXPECT_EQ(ReportFormatFor("report"), ReportFormat::kJson);
}

// A run whose records belong to no scanned source: every one fails, and the
// report must still name it and say why.
TEST(RecoveryReport, FailedRecordsAreReportedWithTheirReason) {
  testing::TempDir temp;
  FoundFileRecord record = EmptyRecord();
  record.source_id = 7;
  record.record_number = 42;
  record.size = 1234;
  record.modified = platform::FiletimeFromCalendar(2020, 1, 2, 3, 4, 5);
  record.SetName("a<b> \xFF.jpg");
  RecoveryRun run({}, temp.path(), nullptr, nullptr);
  ASSERT_EQ(run.Run(std::span(&record, 1)), 0);
  EXPECT_EQ(run.failed(), 1u);
  RecoveryReport report(run, temp.path(), {}, "vexlo-test 1.2.3");

  const nlohmann::json json = nlohmann::json::parse(report.JsonText(), nullptr, false);
  ASSERT_FALSE(json.is_discarded()) << report.JsonText();
  ASSERT_EQ(json["files"].size(), 1u);
  const nlohmann::json& entry = json["files"][0];
  EXPECT_EQ(entry["original_path"], "a<b> \xEF\xBF\xBD.jpg");
  EXPECT_EQ(entry["result"], RecoveryOutcomeText(err::kInvalidParameter));
  EXPECT_EQ(entry["error_code"], err::kInvalidParameter);
  EXPECT_TRUE(entry["recovered_path"].is_null());
  EXPECT_TRUE(entry["sha256"].is_null());
  EXPECT_EQ(entry["size"], 1234);
  EXPECT_EQ(entry["source"]["record_number"], 42);
  EXPECT_EQ(entry["modified"], "2020-01-02T03:04:05");
  EXPECT_TRUE(entry["created"].is_null());

  const std::string xml = report.DfxmlText();
  EXPECT_NE(xml.find("<filename>a&lt;b&gt; \xEF\xBF\xBD.jpg</filename>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<program>vexlo-test</program>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<version>1.2.3</version>"), std::string::npos) << xml;
  EXPECT_EQ(xml.find("hashdigest"), std::string::npos) << "nothing written, nothing hashed";

  const std::filesystem::path path = temp / "r.xml";
  ASSERT_EQ(report.Write(path, ReportFormatFor(path)), 0);
  EXPECT_EQ(testing::ReadText(path), xml);
}

}  // namespace
}  // namespace vexlo::catalogue
