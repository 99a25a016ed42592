// Kaspersky: four ways of finding the product, each leading to a data folder
// or straight to the update-description file (u0607g.xml or u1313g.xml) whose
// date line is the definition.
#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_readers.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"
#include "products/uninstall_rows.h"

namespace {

std::string Num(long n) { return std::to_string(n); }

// The protected and the plain Kaspersky Lab keys hold one subkey per product;
// a KES or AVP one names the data folder in its environment subkey.
bool DataRootSearch(RunContext& rc, const std::string& name, const std::string& key) {
  try {
    WriteLog(rc, "MSG : Executing " + name + "..");
    WriteLog(rc, "MSG : Searching for Kaspersky Anti-virus in registry key :: " + key);
    os::RegKey parent;
    if (const long err = os::RegOpenKeyEx(key, os::kKeyRead, &parent); err != 0) {
      LogKeyOpenFailure(rc, err, key, OpenFailureDetail::kSystemText);
      return false;
    }
    for (uint32_t index = 0;; ++index) {
      std::string subkey;
      if (os::RegEnumKey(parent, index, 255, &subkey) != 0) return false;
      const std::string upper = ToUpper(subkey);
      if (upper.rfind("KES", 0) != 0 && upper.rfind("AVP", 0) != 0) continue;
      WriteLog(rc, "MSG : " + subkey + " installed.");
      const std::string environment = key + subkey + "\\environment";
      os::RegKey env;
      if (os::RegOpenKeyEx(environment, os::kKeyRead, &env) != 0) return false;
      std::string root = TrimSpaces(ReadRegString(env, "Dataroot"));
      if (root.empty()) {
        WriteLog(rc, "MSG : ValueName \"" + environment + "\\InstallLocation\" not found.");
        return false;
      }
      root = ReplaceAll(root, "\"", "");
      WriteLog(rc, "MSG : Kaspersky definition path is " + root);
      // Newer products write the folder with an environment reference.
      root = CheckedPath(ExpandEnvPath(rc, root));
      rc.KasperskyDefPath = GetShortpath(rc, WithBackslash(root));
      WriteLog(rc, "MSG : Kaspersky definition short path is : " + rc.KasperskyDefPath);
      return true;
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : " + name + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

struct Candidate {
  const char* tail;
  bool logsNewPath;
};

const Candidate k0607Paths[] = {
    {"\\Application Data\\Kaspersky Lab\\KAV for Windows Servers Enterprise Edition\\8.0\\Update\\u0607g.xml", false},
    {"\\Kaspersky Lab\\KAV for Windows Servers Enterprise Edition\\8.0\\Update\\u0607g.xml", false},
    {"\\Kaspersky Lab\\AVP13\\Data\\u0607g.xml", false},
    {"\\Kaspersky Lab\\KES10\\Data\\u0607g.xml", false},
    {"\\Kaspersky Lab\\KSOS13\\Data\\u0607g.xml", true},
};
const Candidate k1313Paths[] = {
    {"\\Application Data\\Kaspersky Lab\\AVP14.0.0\\Data\\u1313g.xml", false},
    {"\\Kaspersky Lab\\AVP14.0.0\\Data\\u1313g.xml", true},
    {"\\Kaspersky Lab\\AVP15.0.0\\Data\\u1313g.xml", true},
    {"\\Kaspersky Lab\\Kaspersky Security for Windows Server\\10.0\\Update\\u1313g.xml", true},
    {"\\Kaspersky Lab\\AVP16.0.1\\Data\\u1313g.xml", true},
};

template <size_t N>
std::string FirstExisting(RunContext& rc, const std::string& root, const Candidate (&paths)[N]) {
  for (const Candidate& c : paths) {
    const std::string path = root + c.tail;
    if (!os::FileExists(path)) continue;
    if (c.logsNewPath) WriteLog(rc, "MSG : New path = " + path);
    return GetShortpath(rc, path);
  }
  return {};
}

// The short path of folder + name when that file exists, else empty.
std::string ShortIfExists(RunContext& rc, const std::string& path) {
  return os::FileExists(path) ? GetShortpath(rc, path) : std::string();
}

}  // namespace

bool fncGetPathKaspersky(RunContext& rc) {
  return DataRootSearch(rc, "fncGetPathKaspersky", "SOFTWARE\\KasperskyLab\\protected\\");
}

bool fncGetPathKasperskyLab(RunContext& rc) {
  return DataRootSearch(rc, "fncGetPathKasperskyLab", "SOFTWARE\\KasperskyLab\\");
}

bool fncGetPathKasperskyUninstall(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : Executing fncGetPathKasperskyUninstall..");
    const std::string key = std::string(kUninstallKey) + "\\";
    WriteLog(rc, "MSG : Searching for Kaspersky Anti-virus in registry key :: " + key);
    bool found = false;
    const long err = WalkSubkeys(kUninstallKey, os::kKeyRead | os::kKeyWow64_64Key,
                                 [&](const os::RegKey& subkey, const std::string&, const std::string&,
                                     const os::RegKey&) {
                                   const std::string name = ReadRegString(subkey, "Displayname");
                                   found = ToUpper(name).find("KASPERSKY") != std::string::npos;
                                   if (found)
                                     WriteLog(rc, "MSG : Kaspersky Installed is " + ReplaceAll(name, "\"", ""));
                                   return !found;
                                 });
    if (err != 0) {
      LogKeyOpenFailure(rc, err, kUninstallKey, OpenFailureDetail::kSystemText);
      return false;
    }
    if (!found) return false;
    rc.KasperskyDefPath.clear();
    const std::string root = CheckedPath(ExpandEnvPath(rc, "%ALLUSERSPROFILE%"));
    if (root.empty()) return true;
    std::string file = FirstExisting(rc, root, k0607Paths);
    if (file.empty()) {
      WriteLog(rc, "MSG : Kaspersky definition  path not Found of file : u0607g.xml");
      WriteLog(rc, "MSG : Fetching definition path of file u1313g.xml");
      file = FirstExisting(rc, root, k1313Paths);
    }
    if (file.empty()) {
      WriteLog(rc, "MSG : Kaspersky definition path not Found of file : u1313g.xml");
      return false;
    }
    rc.KasperskyDefPath = file;
    WriteLog(rc, "MSG : Kaspersky definition short path is : " + file);
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetPathKasperskyLab. " + Num(e.number) + " " + e.description);
    return false;
  }
}

void SB_ReadKasperskyDefn(RunContext& rc, const std::string& baseName) {
  const std::string copy = rc.AppFolder + "\\u0607g.txt";
  try {
    WriteLog(rc, "MSG : In SB_ReadKasperskyDefn... : Filename : " + baseName);
    // The product keeps its own file open; the agent reads a copy.
    if (const long err = os::CopyFile(rc.KasperskyDefFile, copy, false); err != 0)
      throw FileSystemError(err);
    const char* marker = baseName == "u1313g" ? "Date=" : "UpdateDate=";
    std::string definition;
    for (const std::string& line : ReadTextLines(copy)) {
      if (line.find(marker) == std::string::npos) continue;
      std::string value = TrimSpaces(ReplaceAll(line.substr(line.find('=') + 1), "\"", ""));
      definition = CheckedDefinition(value.substr(0, value.find(' ')));
      break;
    }
    rc.KasperskyDefinition = definition;
    WriteLog(rc, "MSG : Kaspersky agent definition : " + definition);
    (void)os::DeleteFile(copy);  // a working copy; housekeeping removes what stays
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : SB_ReadKasperskyDefn " + Num(e.number) + " " + e.description);
    (void)os::DeleteFile(copy);  // a working copy; housekeeping removes what stays
  }
}

void fncKaspersky(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : in fncKaspersky");
    bool folder = true;
    if (!fncGetPathKaspersky(rc) && !fncGetPathKasperskyLab(rc)) {
      folder = false;
      if (!fncGetPathKasperskyUninstall(rc) && !ChkKasperskyInstalled(rc)) {
        WriteLog(rc, "MSG : Kaspersky not installed");
        return;
      }
    }
    std::string& file = rc.KasperskyDefFile;
    if (folder) {
      file = ShortIfExists(rc, rc.KasperskyDefPath + "data\\u0607g.xml");
      rc.KasperskyFileName = "u0607g";
      if (file.empty()) {
        file = ShortIfExists(rc, rc.KasperskyDefPath + "data\\u1313g.xml");
        rc.KasperskyFileName = "u1313g";
      }
      WriteLog(rc, "MSG: Kaspersky defn file path : " + file);
    } else {
      file = rc.KasperskyDefPath;
    }
    if (file.find("u1313g") != std::string::npos)
      rc.KasperskyFileName = "u1313g";
    else if (file.find("u0607g") != std::string::npos)
      rc.KasperskyFileName = "u0607g";
    WriteLog(rc, "MSG: Kaspersky defn file path : " + file);
    WriteLog(rc, "MSG: Kaspersky defn strfilename : " + rc.KasperskyFileName);

    rc.KasperskyDefinition.clear();
    const bool exists = !file.empty() && os::FileExists(file);
    if (exists) {
      SB_ReadKasperskyDefn(rc, rc.KasperskyFileName);
    } else {
      WriteLog(rc, "Err: Kaspersky defn file not found. u0607.xml or u1313g.xml");
      rc.StatusDescription += " Kaspersky definition file not found.";
    }
    if (!TrimSpaces(rc.KasperskyDefinition).empty()) {
      rc.ProductFound = true;
      WriteRecord(rc, "Kaspersky", "", "", rc.KasperskyDefinition, "", "", "0");
    } else if (exists) {
      rc.StatusDescription += "Failed to get the virus definition for Kaspersky.";
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncKaspersky : " + Num(e.number) + e.description);
  }
}
