// Avira: the definition version is kept in the registry by the desktop and
// server products; where it is not, the definition file names it.
#include "platform/osinfo.h"
#include "platform/regfiles.h"
#include "products/products.h"
#include "products/uninstall_rows.h"
#include "products/record.h"
#include "products/registry_readers.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

constexpr const char* kVersionWord = "VERSION";

// The text of a definition-file line after "VERSION" and its two separator characters.
std::string AfterVersionWord(const std::string& line) {
  const size_t at = ToUpper(line).find(kVersionWord);
  const size_t start = at + 9;
  return start < line.size() ? TrimSpaces(line.substr(start)) : std::string();
}

bool OpenAviraKey(RunContext& rc, const std::string& logName, const std::string& keyPath,
                  os::RegKey* key) {
  WriteLog(rc, "MSG : Reading definition from registry: HKEY_LOCAL_MACHINE\\" + logName);
  if (os::RegOpenKeyEx(keyPath, os::kKeyRead, key) == 0) return true;
  WriteLog(rc, "MSG : Key " + keyPath + " not found.");
  return false;
}

void ReadRegistryDefinition(RunContext& rc) {
  os::RegKey key;
  std::string keyPath = "SOFTWARE\\Avira\\AntiVir Desktop";
  bool opened = OpenAviraKey(rc, keyPath, keyPath, &key);
  for (const char* product : {"AntiVir Server", "Antivirus"}) {
    if (opened) break;
    keyPath = std::string(IsWow64(rc) != 0 ? "SOFTWARE\\Wow6432Node\\Avira\\" : "SOFTWARE\\Avira\\") +
              product;
    opened = OpenAviraKey(rc, std::string("SOFTWARE\\Avira\\") + product, keyPath, &key);
  }
  if (!opened) return;
  const std::string value = TrimSpaces(ReadRegString(key, "VdfVersion"));
  if (value.empty()) {
    WriteLog(rc, "MSG : ValueName \"" + keyPath + "\\VdfVersion\" not found.");
    return;
  }
  rc.AviraDefinition = ReplaceAll(value, "\"", "");
  WriteLog(rc, "MSG : Avira antivirus definition " + rc.AviraDefinition);
}

void ReadFileDefinition(RunContext& rc) {
  const std::string& path = rc.AviraDefFile;
  if (!os::FileExists(path)) {
    WriteLog(rc, "ERR : File not found :: " + path);
    rc.StatusDescription += " Aevdf.dat file is missing.";
    return;
  }
  WriteLog(rc, "MSG : Definition not found in registry, reading from dat file.");
  WriteLog(rc, "MSG : Reading File " + path);
  std::string content;
  const long err = os::ReadWholeFile(path, &content);
  if (err != 0) throw FileSystemError(err);
  std::string definition;
  for (const std::string& line : SplitLines(content))
    if (ContainsNoCase(line, kVersionWord)) definition = AfterVersionWord(line);
  rc.AviraDefinition = TrimSpaces(TrimAtNull(definition));
  WriteLog(rc, "MSG : Avira Virus Definition :: " + rc.AviraDefinition);
}

}  // namespace

void GetAviraVirusDef(RunContext& rc) {
  rc.AviraDefinition.clear();
  ReadRegistryDefinition(rc);
  if (rc.AviraDefinition.empty()) ReadFileDefinition(rc);
}

void fncAvira(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : in fncAvira");
    if (!ChkAviraInstalled(rc)) {
      WriteLog(rc, "MSG : Avira not installed");
      return;
    }
    rc.AviraDefFile = rc.AviraFolder + "aevdf.dat";
    GetAviraVirusDef(rc);
    if (!rc.AviraDefinition.empty()) {
      rc.ProductFound = true;
      std::string beforeCurrent, beforeLast, afterLast;
      fncsetLogFile_New(rc, "Avira", beforeCurrent, beforeLast, rc.AviraDefinition, afterLast, "", "0");
    } else if (os::FileExists(rc.AviraDefFile)) {
      rc.StatusDescription += "Failed to get the virus definition for Avira.";
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncAvira : " + std::to_string(e.number) + e.description);
  }
}
