// The web-post client: small XML documents posted to the management server's
// pages wpavupdtexclude, wpgetavversion and wpavvendef.
#pragma once

#include <string>
#include <vector>

#include "platform/context.h"

// Used for wpavvendef when the server map has no address for it.
constexpr const char* kDefaultStatusServerUrl = "http://avstatus.kovaod.net/";

// The longest reply read from the server (64 KB). A longer one (a captive
// portal's page, say) is no answer: the post fails and returns empty.
constexpr size_t kMaxWebPostReplyBytes = 64 * 1024;

// Posts body to url and returns the server's reply; empty when the post
// failed. *errorText (may be null) receives "first-second - third" of a
// failed post.
std::string FncWebPost(RunContext& rc, const std::string& body, const std::string& url,
                       std::string* errorText);

// base + "/tfr_" + postName + ".asp?mmid=..&sid=..&rid=..&rty=..", the four
// values percent-encoded.
std::string WebPostUrl(const RunContext& rc, const std::string& base, const std::string& postName);
// RFC 3986: unreserved characters stay, every other byte becomes %XX.
std::string PercentEncode(const std::string& value);

std::string ExclusionPostBody(const RunContext& rc);
// product: "NORTON" or "MCAFEE".
std::string LatestVersionPostBody(const std::string& product);
std::string VipreDefinitionPostBody(const RunContext& rc, const std::string& now);

// The server's latest definition for "NORTON" or "MCAFEE" (wpgetavversion):
// true with the reply's "@@"-separated fields (0: date, 1: version); false,
// with the failure line logged, when the reply holds no "@@".
bool FncGetLatestAvVersion(RunContext& rc, const std::string& product,
                           std::vector<std::string>* fields);

// True when the data centre's VIPRE definition was fetched by this call; it is
// asked at most once per calendar day (LastAVDefUpd.ini, AVVipreDataFromDC).
bool fncVipreDefinitionFromDC(RunContext& rc, std::string* defVersion);
