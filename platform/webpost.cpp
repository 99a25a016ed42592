#include "platform/webpost.h"

#include <cstdio>

#include "platform/xml.h"
#include "platform/filewrite.h"
#include "base/dates.h"
#include "base/error.h"
#include "platform/identity.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

constexpr const char* kVipreSection = "AVVipreDataFromDC";

os::HttpPostOptions ProxyOptions(RunContext& rc) {
  os::HttpPostOptions options;
  ProxyDetails proxy;
  if (fncGetProxyDetails(rc, &proxy) && proxy.useProxy && !TrimSpaces(proxy.ip).empty()) {
    options.proxy = TrimSpaces(proxy.ip);
    if (!TrimSpaces(proxy.port).empty()) options.proxy += ":" + TrimSpaces(proxy.port);
    options.proxyUser = proxy.user;
    options.proxyPassword = proxy.password;
  }
  return options;
}

// A value from a reply, stored in an INI file: one line, bounded.
std::string BoundedValue(const std::string& value) { return ControlsToSpaces(value.substr(0, 255)); }

}  // namespace

std::string FncWebPost(RunContext& rc, const std::string& body, const std::string& url,
                       std::string* errorText) {
  int line = 1;
  std::string reply;
  try {
    WriteLog(rc, "MSG : Webpost string : " + body);
    WriteLog(rc, "MSG : Webpost url : " + url);
    line = 2;
    os::HttpPostOptions options = ProxyOptions(rc);
    options.maxResponseBytes = kMaxWebPostReplyBytes;
    // Our own transport needs no component registration, so there is no
    // re-register-and-retry branch for "cannot create object".
    line = 3;
    int status = 0;
    std::string statusLine, response, error;
    const long err = os::HttpPost(url, body, options, &status, &statusLine, &response, &error);
    std::string first, second, third;
    if (err == os::kErrorMoreData) {
      // Larger than any answer of the server: a portal or error page.
      first = error;
      second = std::to_string(err);
      third = "the reply was not read";
    } else if (err != 0) {
      first = error;
      second = std::to_string(err);
      third = "no reply from the server";
    } else if (status < 200 || status > 299) {
      first = statusLine;
      second = std::to_string(status);
      third = "the server answered with an error status";
    } else {
      reply = response;
    }
    if (second.empty()) {
      line = 4;
      WriteLog(rc, "MSG : WebPost Return Status: " + LogExcerpt(reply));
    } else {
      // An error page is no answer: callers would read it as one.
      line = 5;
      WriteLog(rc, "MSG : WebPost Return Status: " + LogExcerpt(reply));
      WriteLog(rc, "ERR : WebPost Failed : " + LogExcerpt(first) + "-" + second + " - " + third);
      if (errorText != nullptr) *errorText = first + "-" + second + " - " + third;
    }
    line = 6;
    return reply;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : Function FncWebPost :: " + std::to_string(e.number) + "-" + e.description +
                     " in Line No." + std::to_string(line));
    return {};
  }
}

std::string PercentEncode(const std::string& value) {
  std::string out;
  for (const char ch : value) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += ch;
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

std::string WebPostUrl(const RunContext& rc, const std::string& base, const std::string& postName) {
  // The server reads these as query parameters: an "&", "#" or space in a
  // value would otherwise change the request.
  return base + "/tfr_" + postName + ".asp?mmid=" + PercentEncode(rc.MemberId) +
         "&sid=" + PercentEncode(rc.SiteId) + "&rid=" + PercentEncode(rc.RegId) +
         "&rty=" + PercentEncode(rc.AgentType);
}

std::string ExclusionPostBody(const RunContext& rc) {
  return "<wpavupdtexclude><regid>" + rc.RegId + "</regid></wpavupdtexclude>";
}

std::string LatestVersionPostBody(const std::string& product) {
  return "<wpgetavversion>" + product + "</wpgetavversion>";
}

std::string VipreDefinitionPostBody(const RunContext& rc, const std::string& now) {
  return "<wpavvendef><regid>" + rc.RegId + "</regid><mntime>" + now +
         "</mntime><avcategory>vipre</avcategory></wpavvendef>";
}

bool FncGetLatestAvVersion(RunContext& rc, const std::string& product,
                           std::vector<std::string>* fields) {
  const std::string url = WebPostUrl(rc, GetServerUrl(rc, "wpgetavversion"), "wpgetavversion");
  std::string ignored;
  rc.WebPostReply = FncWebPost(rc, LatestVersionPostBody(product), url, &ignored);
  const std::string& reply = rc.WebPostReply;
  if (reply.find("@@") == std::string::npos) {
    WriteLog(rc, "MSG : failed to received Webpost return val :: " + LogExcerpt(reply));
    return false;
  }
  fields->clear();
  size_t start = 0;
  for (;;) {
    const size_t at = reply.find("@@", start);
    fields->push_back(reply.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 2;
  }
  return true;
}

bool fncVipreDefinitionFromDC(RunContext& rc, std::string* defVersion) {
  try {
    const std::string ini = rc.AppFolder + "\\" + "LastAVDefUpd.ini";
    for (int pass = 1; pass <= 2; ++pass) {
      defVersion->clear();
      WriteLog(rc, "MSG : Executing fncVipreDefinitionFromDC ");

      std::string onDateText;
      (void)os::GetPrivateProfileString(kVipreSection, "OnDate", "", 255, ini, &onDateText);
      onDateText = TrimAtNull(onDateText);
      os::LocalTime onDate;
      const os::LocalTime now = os::Now();
      const bool due = onDateText.empty() || (ParseDateTime(onDateText, &onDate) &&
                                              DayBoundariesBetween(onDate, now) > 0);
      if (!due) {
        WriteLog(rc, std::string("MSG : Vipre GetData From DC DoProcess Flag : ") + "False");
        continue;
      }

      std::string base = GetServerUrl(rc, "wpavvendef");
      if (base.empty()) base = kDefaultStatusServerUrl;
      const std::string url = WebPostUrl(rc, base, "wpavvendef");
      const std::string body = VipreDefinitionPostBody(rc, FormatGeneralDateTime(now));
      std::string ignored;
      rc.WebPostReply = FncWebPost(rc, body, url, &ignored);
      const std::string reply = rc.WebPostReply;

      if (reply.empty()) {
        WriteLog(rc, "MSG : Vipre GetData From DC Webpost Failure");
        continue;
      }
      if (reply == "<error>norecords</error>" || reply == "<error>Invalid Root Tag</error>" ||
          reply == "<error>Invalid XML</error>") {
        WriteLog(rc, "MSG : Vipre GetData From DC Webpost " + reply);
        continue;
      }
      xml::Document doc;
      if (!doc.Load(reply)) {
        WriteLog(rc, "MSG : Vipre GetData From DC Webpost LoadXML Invalid " + LogExcerpt(reply));
        continue;
      }
      if (!doc.HasRoot("wpavvendef")) {
        WriteLog(rc, "MSG : Vipre GetData From DC Webpost XML Node wpavvendef Not Found");
        continue;
      }

      // A failed store is logged; the reply still decides this run.
      (void)WriteIniValue(rc, ini, kVipreSection, "OnDate", FormatGeneralDateTime(os::Now()));
      const RtError noElement{91, "Object variable or With block variable not set"};
      std::string defDate;
      if (!doc.FirstChildText("wpavvendef", "vdate", &defDate)) throw noElement;
      (void)WriteIniValue(rc, ini, kVipreSection, "DefDate", BoundedValue(defDate));
      std::string defVer;
      if (!doc.FirstChildText("wpavvendef", "defver", &defVer)) throw noElement;
      *defVersion = defVer;
      (void)WriteIniValue(rc, ini, kVipreSection, "DefVer", BoundedValue(defVer));
      WriteLog(rc, "MSG : Vipre GetData From DC Webpost Successful");
      return true;
    }
    return false;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncVipreDefinitionFromDC, " + std::to_string(e.number) + ":" + e.description);
    return false;
  }
}
