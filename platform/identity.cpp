#include "platform/identity.h"

#include "platform/regfiles.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

std::string NumberAndText(const RtError& e) { return std::to_string(e.number) + e.description; }

// Reads a value whatever its size: the first call only learns the size.
std::string ReadWholeValue(const os::RegKey& key, const std::string& valueName) {
  uint32_t type = 0;
  uint32_t size = 0;
  std::string data;
  long err = os::RegQueryValueEx(key, valueName, &type, &data, &size);
  if (err == os::kErrorMoreData) err = os::RegQueryValueEx(key, valueName, &type, &data, &size);
  // Only text is a folder; the bytes of a number are not.
  if (err != 0 || (type != os::kRegSz && type != os::kRegExpandSz)) return {};
  return TrimAtNull(data);
}

}  // namespace

std::string RegTypeName(uint32_t type) {
  switch (type) {
    case os::kRegNone: return "REG_NONE";
    case os::kRegSz: return "REG_SZ";
    case os::kRegExpandSz: return "REG_EXPAND_SZ";
    case os::kRegBinary: return "REG_BINARY";
    case os::kRegDword: return "REG_DWORD";
    case os::kRegMultiSz: return "REG_MULTI_SZ";
    case os::kRegQword: return "REG_QWORD";
    default: return "type " + std::to_string(type);
  }
}

std::string IdentityValueProblem(const std::string& value) {
  if (value.size() > kMaxIdentityChars) {
    return "it is longer than " + std::to_string(kMaxIdentityChars) + " characters";
  }
  if (value.find_first_of("\\/") != std::string::npos) return "it holds a path separator";
  if (value.find("..") != std::string::npos) return "it holds \"..\"";
  for (const char ch : value) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) return "it holds a control character";
    if (std::string_view("<>:\"|?*").find(ch) != std::string_view::npos) {
      return std::string("it holds the character ") + ch + ", which Windows forbids in file names";
    }
  }
  return {};
}

std::string ReadAgentRegString(RunContext& rc, const os::RegKey& key, const std::string& keyLabel,
                               const std::string& valueName, bool* wrongType) {
  uint32_t type = 0;
  uint32_t size = 0;
  if (os::RegQueryValueEx(key, valueName, &type, nullptr, &size) != 0) {
    WriteLog(rc, "ERR : Failed to read Value in Registry key " + keyLabel + valueName);
    return {};
  }
  if (type != os::kRegSz) {
    // Present but not text: say so, rather than let it pass for missing.
    WriteLog(rc, "ERR : Registry value " + valueName + " of " + kAgentKey + " is stored as " +
                     RegTypeName(type) + ", not as text (REG_SZ); it is not read");
    if (wrongType != nullptr) *wrongType = true;
    return {};
  }
  std::string buffer(size, '\0');
  if (os::RegQueryValueEx(key, valueName, &type, &buffer, &size) != 0) {
    WriteLog(rc, "ERR : Failed to read Value in Registry key " + keyLabel + valueName);
    return {};
  }
  return TrimAtNull(buffer);
}

bool GetoutputPath(RunContext& rc) {
  try {
    os::RegKey key;
    long err = os::RegOpenKeyEx(kAgentKey, os::kKeyRead, &key);
    if (err != 0) {
      WriteLog(rc, err == os::kErrorFileNotFound ? "ERR : Unable to locate KovaMobile registry entries"
                                                 : "ERR : Unable to open KovaMobile registry entries");
      return false;
    }

    std::string path = ReadAgentRegString(rc, key, "KOVAOD", "InstallationPath");
    path = ReplaceAll(path, "\\\\", "\\");
    path = ReplaceAll(path, "\"", "");
    WriteLog(rc, "MSG : KOVAOD path : " + path);
    // An empty value stays empty rather than becoming the root of the drive.
    if (!path.empty() && path.back() != '\\') path += '\\';
    rc.AgentInstallPath = path.empty() ? path : GetShortpath(rc, path);

    struct Required {
      const char* valueName;
      const char* logName;
      const char* missingLine;
      std::string RunContext::*field;
    };
    static const Required kRequired[] = {
        {"REGID", "RegID", "ERR : REGID Key Not Present", &RunContext::RegId},
        {"SiteId", "SiteId", "ERR : SiteId Key Not Present", &RunContext::SiteId},
        {"MemberId", "MemberId", "ERR : MemberId Key Not Present", &RunContext::MemberId},
        {"Type", "Regtype", "ERR : RegType Key Not Present", &RunContext::AgentType},
    };
    for (const Required& r : kRequired) {
      bool wrongType = false;
      std::string value = ReadAgentRegString(rc, key, "", r.valueName, &wrongType);
      WriteLog(rc, std::string("MSG : ") + r.logName + " = " + LogExcerpt(value, 128));
      if (value.empty()) {
        if (!wrongType) WriteLog(rc, r.missingLine);
        return false;
      }
      // REGID, SiteId and MemberId go into file names and the server's URLs.
      if (r.field != &RunContext::AgentType) {
        const std::string problem = IdentityValueProblem(value);
        if (!problem.empty()) {
          WriteLog(rc, std::string("ERR : ") + r.valueName + " refused: " + problem);
          return false;
        }
      }
      rc.*r.field = value;
    }
    return true;
  } catch (...) {
    WriteLog(rc, "ERR : function GetoutputPath : " + NumberAndText(CurrentError()));
    return false;
  }
}

bool fncGetClientInfo(RunContext& rc) {
  try {
    const std::string ini = rc.AgentInstallPath + "KovaMobile.ini";
    if (!os::FileExists(ini)) {
      WriteLog(rc, "ERR : File not found " + rc.AgentInstallPath);
      return false;
    }
    std::string url;
    (void)os::GetPrivateProfileString("Download", "AVDownload", "", 200, ini, &url);  // the count is url's length
    url = TrimAtNull(url);
    if (url.empty() || url.back() != '/') url += '/';
    rc.GatewayBaseUrl = url;
    return true;
  } catch (...) {
    WriteLog(rc, "ERR : in function fncGetClientInfo " + NumberAndText(CurrentError()));
    return false;
  }
}

std::string GetServerUrl(RunContext& rc, const std::string& webPostName) {
  try {
    std::string folder;
    for (uint32_t access : {os::kKeyRead | os::kKeyWow64_64Key, os::kKeyRead | os::kKeyWow64_32Key,
                            os::kKeyRead}) {
      os::RegKey key;
      if (os::RegOpenKeyEx(kAgentKey, access, &key) == 0) {
        folder = ReadWholeValue(key, "InstallationPath");
        break;
      }
    }
    if (TrimSpaces(folder).empty() || TrimSpaces(folder).back() != '\\') folder += '\\';

    std::string returned;
    (void)os::GetPrivateProfileString(webPostName, "URL", "", 5000,
                                      folder + "Configuration\\kServerMap.ini", &returned);
    std::string url = TrimSpaces(ReplaceAll(returned, std::string(1, '\0'), ""));
    if (!url.empty() && url.back() != '/') url += '/';
    return url;
  } catch (...) {
    return {};
  }
}

namespace {
bool ReadProxyDetails(RunContext& rc, ProxyDetails* proxy);
}  // namespace

// Reads and decodes the proxy settings the first time in a run; every later
// call hands out the same values, so a bad encoded value is logged once.
// A user name or password that does not decode drops both: a half set of
// credentials is no credentials.
bool fncGetProxyDetails(RunContext& rc, ProxyDetails* proxy) {
  ProxySettingsRead& cache = rc.ProxyCache;
  if (!cache.read) {
    cache.read = true;
    ProxyDetails fresh;
    cache.ok = ReadProxyDetails(rc, &fresh);
    cache.ip = fresh.ip;
    cache.port = fresh.port;
    cache.user = fresh.user;
    cache.password = fresh.password;
  }
  if (!cache.ok) return false;
  if (!cache.ip.empty()) proxy->ip = cache.ip;
  if (!cache.port.empty()) proxy->port = cache.port;
  if (!cache.user.empty()) proxy->user = cache.user;
  if (!cache.password.empty()) proxy->password = cache.password;
  proxy->useProxy = !proxy->ip.empty() || !proxy->port.empty() || !proxy->user.empty() ||
                    !proxy->password.empty();
  return true;
}

namespace {

bool ReadProxyDetails(RunContext& rc, ProxyDetails* proxy) {
  try {
    const std::string ini = rc.AgentInstallPath + "KovaMobile.ini";
    struct Key {
      const char* name;
      std::string ProxyDetails::*field;
      bool encoded;
    };
    bool undecodable = false;
    static const Key kKeys[] = {
        {"ProxyIP", &ProxyDetails::ip, false},
        {"ProxyPort", &ProxyDetails::port, false},
        {"ProxyUserName", &ProxyDetails::user, true},
        {"ProxyPassword", &ProxyDetails::password, true},
    };
    for (const Key& k : kKeys) {
      std::string value;
      if (os::GetPrivateProfileString("ProxySettings", k.name, "", 255, ini, &value) > 0) {
        if (k.encoded) {
          const std::string clear = DecryptString(rc, value);
          if (clear.empty()) undecodable = true;
          proxy->*k.field = clear;
        } else {
          proxy->*k.field = value;
        }
      }
    }
    if (undecodable) {
      proxy->user.clear();
      proxy->password.clear();
    }
    proxy->useProxy = !proxy->ip.empty() || !proxy->port.empty() || !proxy->user.empty() ||
                      !proxy->password.empty();
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetProxyDetails, " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

}  // namespace

std::string DecryptString(RunContext& rc, const std::string& text) {
  try {
    if (text.empty()) return {};
    std::string clear;
    size_t start = 0;
    while (true) {
      size_t h = text.find('H', start);
      const std::string part =
          TrimSpaces(text.substr(start, h == std::string::npos ? std::string::npos : h - start));
      size_t digits = (!part.empty() && (part[0] == '-' || part[0] == '+')) ? 1 : 0;
      if (digits == part.size() || part.find_first_not_of("0123456789", digits) != std::string::npos) {
        throw RtError::TypeMismatch();
      }
      if (part.size() - digits > 4) throw RtError::InvalidCall();
      const long code = std::stol(part);
      if (code < 0 || code > 255) throw RtError::InvalidCall();
      clear += static_cast<char>(static_cast<unsigned char>(code));
      if (h == std::string::npos) break;
      start = h + 1;
    }
    return clear;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : DecryptString " + std::to_string(e.number) + " " + e.description);
    return {};
  }
}
