#include "update/outcome.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* what;
  void (*set)(OutcomeFlags&);
  const char* sentences;
};

TEST(UpdateOutcomeText, FirstMatchingRowPerProductInProductOrder) {
  const Case cases[] = {
      {"nothing", [](OutcomeFlags&) {}, ""},
      {"norton gateway incomplete",
       [](OutcomeFlags& f) {
         f.norton.gatewayPackageDownloaded = f.norton.incompleteDownload = f.norton.liveUpdateRan = true;
       },
       "Norton Exe Downloaded from Gateway. Incomplete Download."},
      {"norton internet incomplete beats live update",
       [](OutcomeFlags& f) {
         f.norton.internetPackageDownloaded = f.norton.incompleteDownload = f.norton.liveUpdateRan = true;
         f.norton.internetPackageSize = "1.500 KB";
       },
       "Norton Exe Downloaded from Internet[1.500 KB]. Incomplete Download."},
      {"norton incomplete alone falls through to the later rows",
       [](OutcomeFlags& f) { f.norton.incompleteDownload = f.norton.alreadyUpdated = true; },
       "Norton Definition Already Updated."},
      {"norton internet", [](OutcomeFlags& f) {
         f.norton.internetPackageDownloaded = true;
         f.norton.internetPackageSize = "0";
       },
       "Norton Exe Downloaded from Internet[0]."},
      {"gateway beats internet",
       [](OutcomeFlags& f) { f.mcafee.gatewayPackageDownloaded = f.mcafee.internetPackageDownloaded = true; },
       "McAfee Exe Downloaded from Gateway."},
      {"live update beats already updated",
       [](OutcomeFlags& f) { f.trendMicro.liveUpdateRan = f.trendMicro.alreadyUpdated = true; },
       "Executed TrendMicro LiveUpdate Exe."},
      {"all products, no separators",
       [](OutcomeFlags& f) {
         f.avg.liveUpdateRan = f.vipre.alreadyUpdated = f.trendMicro.internetPackageDownloaded = true;
         f.trendMicro.internetPackageSize = "2.000 KB";
         f.mcafee.alreadyUpdated = f.norton.alreadyUpdated = true;
       },
       "Norton Definition Already Updated.McAfee Definition Already Updated."
       "TrendMicro Exe Downloaded from Internet[2.000 KB].Vipre Definition Already Updated."
       "Executed AVG LiveUpdate Exe."},
      {"vipre and avg have no package rows",
       [](OutcomeFlags& f) { f.vipre.gatewayPackageDownloaded = f.avg.internetPackageDownloaded = true; }, ""},
  };
  for (const Case& c : cases) {
    RunContext rc;
    rc.StatusDescription = "Earlier.";
    c.set(rc.Outcomes);
    UpdateOutcomeText(rc);
    EXPECT_EQ(rc.StatusDescription, std::string("Earlier.") + c.sentences) << c.what;
  }
}

}  // namespace
