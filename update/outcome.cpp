#include "update/outcome.h"

#include <string>

namespace {

std::string LiveUpdateSentence(const ProductOutcome& o, const std::string& name) {
  if (o.liveUpdateRan) return "Executed " + name + " LiveUpdate Exe.";
  if (o.alreadyUpdated) return name + " Definition Already Updated.";
  return {};
}

std::string PackageSentence(const ProductOutcome& o, const std::string& name) {
  if (o.gatewayPackageDownloaded) return name + " Exe Downloaded from Gateway.";
  if (o.internetPackageDownloaded) {
    return name + " Exe Downloaded from Internet[" + o.internetPackageSize + "].";
  }
  return LiveUpdateSentence(o, name);
}

std::string NortonSentence(const ProductOutcome& o) {
  if (o.incompleteDownload && o.gatewayPackageDownloaded) {
    return "Norton Exe Downloaded from Gateway. Incomplete Download.";
  }
  if (o.incompleteDownload && !o.gatewayPackageDownloaded && o.internetPackageDownloaded) {
    return "Norton Exe Downloaded from Internet[" + o.internetPackageSize + "]. Incomplete Download.";
  }
  return PackageSentence(o, "Norton");
}

template <class Build>
void Append(std::string& description, Build&& build) {
  try {
    description += build();
  } catch (...) {
    // A sentence that cannot be built is left out; the next product goes on.
  }
}

}  // namespace

void UpdateOutcomeText(RunContext& rc) {
  const OutcomeFlags& f = rc.Outcomes;
  std::string& d = rc.StatusDescription;
  Append(d, [&] { return NortonSentence(f.norton); });
  Append(d, [&] { return PackageSentence(f.mcafee, "McAfee"); });
  Append(d, [&] { return PackageSentence(f.trendMicro, "TrendMicro"); });
  Append(d, [&] { return LiveUpdateSentence(f.vipre, "Vipre"); });
  Append(d, [&] { return LiveUpdateSentence(f.avg, "AVG"); });
}
