// BitDefender: five registry places name the engines folder of one product
// line or another; every plugins\update.txt below it holds a signature number,
// and the highest one is the definition.
#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/file_readers.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"

namespace {

std::string Num(long n) { return std::to_string(n); }

std::string ErrText(RunContext& rc, long err) { return fncFormatMessage(rc, static_cast<uint32_t>(err)); }

constexpr const char* kThreatScannerKey = "SOFTWARE\\BitDefender\\BitDefender Threat Scanner";
constexpr const char* kEndpointClientKey = "SOFTWARE\\Bitdefender\\Endpoint Client by Bitdefender\\Maintenance\\Install";
constexpr const char* kVer5Key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Endpoint Security";
constexpr const char* kEndpointKey = "SOFTWARE\\Bitdefender\\EndPoint Security";

// The "locate" / "open" lines of the finders; withText adds ", " and the
// system text for the code.
void LogOpenFailure(RunContext& rc, long err, bool withText) {
  std::string line = err == os::kErrorFileNotFound ? "ERR : Unable to locate BitDefender registry entries"
                                                   : "ERR : Unable to open BitDefender registry entries";
  if (withText) line += ", " + ErrText(rc, err);
  WriteLog(rc, line);
}

bool ThreatScannerFinder(RunContext& rc, const std::string& name, uint32_t access, bool withText) {
  try {
    WriteLog(rc, "MSG : in " + name);
    os::RegKey key;
    const long err = os::RegOpenKeyEx(kThreatScannerKey, access, &key);
    WriteLog(rc, std::string("MSG : Opening Registry key ") + kThreatScannerKey + "(EnginesFolder)");
    if (err != 0) {
      LogOpenFailure(rc, err, withText);
      return false;
    }
    std::string folder = CheckedPath(GetRegValue(rc, key, "EnginesFolder", os::kRegSz));
    WriteLog(rc, "MSG : BitDefender path : " + folder);
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const size_t slash = folder.rfind('\\');
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    rc.BitDefenderPath = GetShortpath(rc, WithBackslash(folder));
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : " + name + " : " + Num(e.number) + e.description);
    return false;
  }
}

std::vector<std::string> Subfolders(const std::string& folder) {
  std::vector<std::string> names;
  (void)os::ListFolders(folder, &names);  // an unlistable folder has no subfolders to look in
  return names;
}

// What one update.txt said.
struct UpdateFile {
  std::string signature;
  std::string engine;
};

UpdateFile ReadUpdateFile(RunContext& rc, const std::string& path) {
  UpdateFile read;
  rc.BitDefenderUpdateFile = path;
  if (!os::FileExists(path)) {
    WriteLog(rc, "ERR : File not found :: " + path);
    rc.StatusDescription += "BitDefender Update.txt is missing.";
    return read;
  }
  WriteLog(rc, "MSG : Reading File " + path);
  const std::vector<std::string> lines = ReadTextLines(path);
  if (lines.empty()) rc.StatusDescription += "No contents in BitDefender Update.txt.";
  for (const std::string& line : lines) {
    if (ContainsNoCase(line, "Signature number")) {
      read.signature = CheckedDefinition(TrimSpaces(ReplaceAll(RemoveNoCase(line, "Signature number"), ":", "")));
      WriteLog(rc, "MSG : BitDefender Virus Signature :: " + read.signature);
    } else if (ContainsNoCase(line, "Version")) {
      read.engine = CheckedDefinition(TrimSpaces(ReplaceAll(RemoveNoCase(line, "Version"), ":", "")));
      WriteLog(rc, "MSG : BitDefender Engine Version :: " + read.engine);
    }
  }
  return read;
}

// Reads one update.txt; its signature wins when it is higher, and the engine
// reported is the one of the file whose signature won.
void Consider(RunContext& rc, const std::string& path) {
  const UpdateFile read = ReadUpdateFile(rc, path);
  if (read.signature.empty()) return;
  if (rc.BitDefenderSignature.empty() ||
      CompareLeadingNumbers(read.signature, rc.BitDefenderSignature) > 0) {
    rc.BitDefenderSignature = read.signature;
    rc.BitDefenderEngine = read.engine;
  }
}

void ParseFolders(RunContext& rc, const std::string& folder) {
  try {
    for (const std::string& sub : Subfolders(folder)) {
      const std::string path = folder + sub + "\\plugins\\update.txt";
      if (os::FileExists(path)) Consider(rc, path);
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : ParseFolders : " + Num(e.number) + e.description);
  }
}

enum class Finder { kNone, kThreatScanner, kEndpointClient, kVer5, kEndpoint };

}  // namespace

bool fncGetPathBitDefender(RunContext& rc) {
  return ThreatScannerFinder(rc, "fncGetPathBitDefender", os::kKeyRead, false);
}

bool fncGetPathBitDefender64Bits(RunContext& rc) {
  return ThreatScannerFinder(rc, "fncGetPathBitDefender64Bits", os::kKeyRead | os::kKeyWow64_64Key, true);
}

bool fncGetPathBitDefenderEPClient(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : in fncGetPathBitDefenderEPClient");
    os::RegKey key;
    const long err = os::RegOpenKeyEx(kEndpointClientKey, os::kKeyRead | os::kKeyWow64_64Key, &key);
    WriteLog(rc, std::string("MSG : Opening Registry key ") + kEndpointClientKey);
    if (err != 0) {
      LogOpenFailure(rc, err, true);
      return false;
    }
    const std::string value = CheckedPath(GetRegValue(rc, key, "ThreatScannerDir", os::kRegSz));
    WriteLog(rc, "MSG : BitDefender path : " + value);
    rc.BitDefenderPath = value.empty() ? std::string() : GetShortpath(rc, WithBackslash(value));
    if (rc.BitDefenderPath.empty()) {
      WriteLog(rc, "MSG : Registry Path found for Bitdefender, but file path not found");
      return false;
    }
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetPathBitDefenderEPClient : " + Num(e.number) + e.description);
    return false;
  }
}

bool fncGetPathBitDefenderEPClient_Ver5(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : Executing fncGetPathBitDefenderEPClient_Ver5..");
    os::RegKey key;
    if (const long err = os::RegOpenKeyEx(kVer5Key, os::kKeyRead | os::kKeyWow64_64Key, &key); err != 0) {
      LogOpenFailure(rc, err, true);
      return false;
    }
    WriteLog(rc, std::string("MSG : Registry Path found checking") + kVer5Key);
    if (!ContainsNoCase(ReadRegString(key, "DisplayName"), "Endpoint Security by Bitdefender")) {
      WriteLog(rc, "MSG : Registry Path not found for Bitdefender");
      return false;
    }
    WriteLog(rc, "MSG : Registry Path found for Bitdefender");
    const std::string path = CheckedPath(TrimSpaces(ReadRegString(key, "InstallLocation")));
    if (path.empty()) {
      WriteLog(rc, "MSG : Registry Path found for Bitdefender, but file path not found");
      return false;
    }
    WriteLog(rc, "MSG : BitDefender path : " + path);
    rc.BitDefenderPath = WithBackslash(path);
    WriteLog(rc, "MSG : Registry short Path found for Bitdefender" + rc.BitDefenderPath);
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetPathBitDefenderEPClient_Ver5 : " + Num(e.number) + e.description);
    return false;
  }
}

bool fncGetPathBitDefenderEP(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : Executing fncGetPathBitDefenderEP..");
    constexpr uint32_t kAccess = os::kKeyRead | os::kKeyWow64_64Key;
    os::RegKey parent;
    if (const long err = os::RegOpenKeyEx(kEndpointKey, kAccess, &parent); err != 0) {
      LogOpenFailure(rc, err, true);
      return false;
    }
    std::string installPath;
    for (uint32_t index = 0;; ++index) {
      std::string name;
      if (os::RegEnumKey(parent, index, 255, &name) != 0) break;
      WriteLog(rc, "MSG : Registry Path found checking" + name);
      const std::string subkeyPath = std::string(kEndpointKey) + "\\" + name;
      os::RegKey subkey;
      if (os::RegOpenKeyEx(subkeyPath, kAccess, &subkey) != 0) continue;
      WriteLog(rc, "MSG : Registry Path found checking" + subkeyPath);
      if (name.empty() || name[0] != '{') {
        WriteLog(rc, "MSG : Registry Path not found :" + installPath);
        continue;
      }
      WriteLog(rc, "MSG : Key found:" + name);
      installPath = TrimSpaces("SOFTWARE\\Bitdefender\\Endpoint Security\\" + name + "\\Install");
      os::RegKey install;
      const long err = os::RegOpenKeyEx(installPath, kAccess, &install);
      WriteLog(rc, "MSG : Registry Path found checking " + installPath);
      const std::string value =
          err == 0 ? CheckedPath(TrimSpaces(ReadRegString(install, "InstallPath"))) : std::string();
      if (!value.empty()) {
        WriteLog(rc, "MSG : BitDefender path : " + value);
        rc.BitDefenderPath = WithBackslash(value);
        WriteLog(rc, "MSG : Registry short Path found for Bitdefender" + rc.BitDefenderPath);
        return true;
      }
      WriteLog(rc, "MSG : Registry Path found for Bitdefender, but file path not found");
      if (err != 0) break;
    }
    WriteLog(rc, "MSG : Registry Path not found for Bitdefender");
    return false;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetPathBitDefenderEP : " + Num(e.number) + e.description);
    return false;
  }
}

void fncBitDefender(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : in fncBitDefender");
    rc.BitDefenderSignature.clear();
    rc.BitDefenderEngine.clear();
    rc.BitDefenderUpdateFile.clear();
    Finder finder = Finder::kNone;
    if (fncGetPathBitDefender(rc) || fncGetPathBitDefender64Bits(rc))
      finder = Finder::kThreatScanner;
    else if (fncGetPathBitDefenderEPClient(rc))
      finder = Finder::kEndpointClient;
    else if (fncGetPathBitDefenderEPClient_Ver5(rc))
      finder = Finder::kVer5;
    else if (fncGetPathBitDefenderEP(rc))
      finder = Finder::kEndpoint;
    const std::string& folder = rc.BitDefenderPath;
    switch (finder) {
      case Finder::kNone:
        return;
      case Finder::kThreatScanner:
        ParseFolders(rc, folder);
        break;
      case Finder::kEndpointClient:
        for (const std::string& sub : Subfolders(folder)) {
          const std::string path = folder + sub + "\\plugins\\update.txt";
          if (os::FileExists(path)) Consider(rc, path);
        }
        break;
      case Finder::kVer5:
        for (const std::string& s1 : Subfolders(folder)) {
          for (const std::string& s2 : Subfolders(folder + s1)) {
            const std::string path = folder + s1 + "\\" + s2 + "\\plugins\\update.txt";
            WriteLog(rc, "MSG : " + path);
            if (!os::FileExists(path)) continue;
            WriteLog(rc, "MSG : Path Reading is : " + path);
            Consider(rc, path);
          }
        }
        break;
      case Finder::kEndpoint: {
        const std::string scanner = folder + "Threatscanner";
        if (!os::FolderExists(scanner)) break;
        for (const std::string& sub : Subfolders(scanner)) {
          const std::string path = scanner + "\\" + sub + "\\plugins\\update.txt";
          if (!os::FileExists(path)) continue;
          Consider(rc, path);
          break;
        }
        break;
      }
    }
    if (!TrimSpaces(rc.BitDefenderSignature).empty()) {
      WriteLog(rc, "MSG : Definition is: " + rc.BitDefenderSignature);
      rc.ProductFound = true;
      WriteRecord(rc, "BitDefender", rc.BitDefenderSignature, "", rc.BitDefenderSignature, "",
                  rc.BitDefenderEngine, "0");
    } else if (!rc.BitDefenderUpdateFile.empty() && os::FileExists(rc.BitDefenderUpdateFile)) {
      rc.StatusDescription += "Failed to get the virus signature for BitDefender.";
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncBitDefender : " + Num(e.number) + e.description);
  }
}
