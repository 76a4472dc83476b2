// The error table and the three reporting operations of the root component.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidBase.h"

using namespace zid;

namespace {

// The message table as the product documentation lists it, one "code text" pair
// each; the table in code must hold exactly these.
const char* kDocumentedTable =
#include "base/error_table.inc"
    ;

TEST(ErrorTable, MatchesTheDocumentedListExactly) {
  // Items read: digits, a blank, then the text between double quotes.
  std::string doc(kDocumentedTable);
  std::vector<std::pair<int, std::string>> expected;
  for (size_t pos = 0; (pos = doc.find_first_of("0123456789", pos)) != std::string::npos;) {
    size_t quote = doc.find(" \"", pos);
    size_t close = doc.find("\"", quote + 2);
    while (close != std::string::npos && close + 1 < doc.size() && doc[close + 1] != ';' && doc[close + 1] != '.')
      close = doc.find("\"", close + 1);
    if (quote == std::string::npos || close == std::string::npos) break;
    expected.emplace_back(std::stoi(doc.substr(pos, quote - pos)), doc.substr(quote + 2, close - quote - 2));
    pos = close + 1;
  }
  ASSERT_EQ(expected.size(), 118u);
  const auto& table = ErrorTable();
  ASSERT_EQ(table.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(table[i].code, expected[i].first);
    EXPECT_EQ(std::string(table[i].text), expected[i].second) << "code " << expected[i].first;
  }
}

TEST(ErrorTable, SharedTextsStayDistinctCodes) {
  EXPECT_EQ(LoadStr(25179), "EOF not found");
  EXPECT_EQ(LoadStr(25172), "EOF not found");
  EXPECT_EQ(LoadStr(25268), "Nothing to do");
  EXPECT_EQ(LoadStr(26859), "Nothing to do");
  EXPECT_EQ(LoadStr(25101), "64 bit hearder");  // the stored spelling
  EXPECT_EQ(LoadStr(12345), "");
}

struct Report {
  std::string file, ext, vol;
  int code;
};

class Reporting : public ::testing::Test {
 protected:
  void SetUp() override {
    comp.OnError = [this](TZipCommon* sender, const std::string& f, const std::string& e, const std::string& v,
                          int c) {
      EXPECT_EQ(sender, &comp);
      reports.push_back({f, e, v, c});
    };
  }
  TZipCommon comp;
  std::vector<Report> reports;
};

TEST_F(Reporting, RaiseErrorFiresOnErrorThenRaisesWithTheCodesText) {
  try {
    comp.RaiseError("a.txt", "extra", "vol.zip", E_CRCERROR);
    FAIL() << "no exception";
  } catch (const E_RAISE& e) {
    EXPECT_STREQ(e.what(), "File fails CRC check");
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].file, "a.txt");
  EXPECT_EQ(reports[0].ext, "extra");
  EXPECT_EQ(reports[0].vol, "vol.zip");
  EXPECT_EQ(reports[0].code, 25151);
}

TEST_F(Reporting, ReportErrorNeverRaises) {
  EXPECT_NO_THROW(comp.ReportError("f", "", "v", E_OPENERROR));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].code, 25235);
}

TEST_F(Reporting, RaiseErrorWithoutHandlerStillRaises) {
  comp.OnError = nullptr;
  EXPECT_THROW(comp.RaiseError("", "", "", E_BADBLOCK), E_RAISE);
}

TEST_F(Reporting, CancelReportsUserCanceledWithCurrentEntryAndVolume) {
  comp.FileName = "entry.txt";
  comp.VolumeName = "arc.zip";
  comp.SetCancel(true);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].code, 25443);
  EXPECT_EQ(reports[0].file, "entry.txt");
  EXPECT_EQ(reports[0].ext, "");
  EXPECT_EQ(reports[0].vol, "arc.zip");
  EXPECT_TRUE(comp.Cancelled());
}

TEST_F(Reporting, AfterCancelEveryReportCarries25443AndNothingIsRaised) {
  comp.SetCancel(true);
  reports.clear();
  EXPECT_NO_THROW(comp.RaiseError("x", "", "", E_CRCERROR));
  comp.ReportError("y", "", "", E_OPENERROR);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].code, 25443);
  EXPECT_EQ(reports[1].code, 25443);
}

TEST_F(Reporting, HandlerThatCancelsStopsTheRaise) {
  comp.OnError = [this](TZipCommon*, const std::string&, const std::string&, const std::string&, int) {
    comp.SetCancel(false);  // a handler may touch the flag; clearing keeps raising
  };
  EXPECT_THROW(comp.RaiseError("", "", "", E_BADBLOCK), E_RAISE);
  comp.OnError = [this](TZipCommon*, const std::string&, const std::string&, const std::string&, int c) {
    if (c != E_USERCANCELED) comp.SetCancel(true);
  };
  EXPECT_NO_THROW(comp.RaiseError("", "", "", E_BADBLOCK));
}

TEST_F(Reporting, SetCancelFalseReportsNothing) {
  comp.SetCancel(false);
  EXPECT_TRUE(reports.empty());
  EXPECT_FALSE(comp.Cancelled());
}

TEST(PercentRule, RoundsAndClamps) {
  EXPECT_EQ(Percent(0, 0), 0);
  EXPECT_EQ(Percent(5, 0), 0);
  EXPECT_EQ(Percent(1, 3), 33);
  EXPECT_EQ(Percent(2, 3), 67);
  EXPECT_EQ(Percent(1, 200), 1);  // 0.5 rounds up
  EXPECT_EQ(Percent(150, 100), 100);
  EXPECT_EQ(Percent(-5, 100), 0);
  EXPECT_EQ(Percent(int64_t(1) << 62, (int64_t(1) << 62) + 1), 100);
}

}  // namespace
