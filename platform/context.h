// The one run-wide record. Created empty at process start; flags start false
// and texts empty. Every procedure of the run takes it by reference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os.h"

struct InternetDownloadFlags {
  bool norton = false;
  bool mcafee = false;
  bool mse = false;
  bool trendMicro = false;
};

// Per-product update outcomes, turned into status sentences at the end.
struct ProductOutcome {
  bool gatewayPackageDownloaded = false;
  bool internetPackageDownloaded = false;
  std::string internetPackageSize;
  bool liveUpdateRan = false;
  bool alreadyUpdated = false;
  bool incompleteDownload = false;  // Norton only
};

struct OutcomeFlags {
  ProductOutcome norton, mcafee, trendMicro, vipre, avg;
};

// Norton / Symantec: what the uninstall-list search found and the definition
// dates read before and after an update. Dates start at the zero date.
struct NortonValues {
  static constexpr os::LocalTime kZeroDate{1899, 12, 30};

  std::string StrNortonInstallLocation;
  std::string SymantecDisplayName;
  bool NortonV5Package = false;
  bool NortonBusinessSuiteFound = false;
  bool SymantecCloudFound = false;
  bool NortonPathSearchUsed = false;
  std::string DefinitionFile;  // the last definfo.dat path the search settled on
  os::LocalTime BeforeCurDefs = kZeroDate;
  os::LocalTime BeforeLastDefs = kZeroDate;
  os::LocalTime AfterCurDefs = kZeroDate;
  os::LocalTime AfterLastDefs = kZeroDate;
  std::string CurDefsRevision;
  std::string ScanEngine;  // reported as the record's engine field
};

// The gateway's definition index (NavDefDownload.ini), filled only by
// ReadINIfile. The Norton date starts at the zero date.
struct GatewayIndexValues {
  std::string NortonDefPath;     // [DefPath-i32]
  os::LocalTime NortonDefDate = NortonValues::kZeroDate;  // [DefDate-i32]
  std::string MSEDefVersion;     // [MSEDefVersion]
  std::string McAfeeDefVersion;  // [DefVersion]
  std::string McAfeeDefPath;     // [McAfeeDefPath]
  std::string TrendMicroDefVersion;  // [TrendMicroDefVersion]
  std::string TrendMicroDefPath;     // [TrendMicroDefPath]
  std::string CAVetDefVersion;       // [CAVetDefVersion]
  std::string CAInculateDefPath;     // [CAInculateDefPath]
  std::string CAVetDefPath;          // [CAVetDefPath]
};

// The agent's proxy settings as read once per run (KovaMobile.ini).
struct ProxySettingsRead {
  bool read = false;  // the file was read in this run
  bool ok = false;    // what fncGetProxyDetails returned then
  std::string ip, port, user, password;
};

struct RunContext {
  // Run log.
  std::string AppFolder;  // short form, no trailing "\"
  os::FileHandle LogStream;
  // The log could not be opened or a line could not be written: said once on
  // stderr, and the run exits with kExitLogUnwritable.
  bool LogFailed = false;
  std::string ExeVersion;
  std::string RunStartTime;  // "MM/DD/YYYY HH:NN:SS"

  // Run gate.
  std::string RunGateIniPath;
  InternetDownloadFlags InternetDownloadDue;

  // Agent identity.
  std::string AgentInstallPath;  // short form, ends in "\"
  std::string RegId;
  std::string SiteId;
  std::string MemberId;
  std::string AgentType;

  // Status file.
  std::string StatusFileName;
  // The status file is rewritten whole (atomically) with every line, from
  // this text; lines are added while it is open.
  bool StatusOpen = false;
  std::string StatusText;
  bool RecordWritten = false;
  std::string StatusDescription;

  // Run mode.
  std::string XmlHttpProgId;
  std::string WebPostReply;
  int16_t UpdateExclusion = 0;
  std::string GatewayBaseUrl;  // ends in "/"
  std::string DefIndexPath;
  bool ProductFound = false;
  bool LibReRegistered = false;

  // Operating system.
  bool Is64BitOs = false;
  std::string OsCaption;
  bool Windows8OrLater = false;
  std::string OsName;

  // Product records.
  std::string DefVersionBefore;
  std::string DefVersionAfter;
  std::string ScanEngineVersion;
  std::string AntivirusElements;  // "VXNA": the run's <Antivirus> elements
  std::vector<std::string> DataFileNamesUsed;
  OutcomeFlags Outcomes;

  // AVG working files in the program folder.
  std::string AvgDefTxt, AvgInfoExe, AvgDef85Txt, AvgInfo85Exe;

  // Platform helpers.
  std::string ShortPathResult;  // "True" / "False": last GetShortpath outcome
  std::string DataFilePath;     // the run's current product data file

  // Values the uninstall-list searches find for their product families.
  std::string KasperskyDefPath;  // a folder or the definition file itself
  std::string WebrootProductName;
  std::string WebrootDefinition;
  std::string WebrootEngine;
  std::string WebrootLastDefinition;
  std::string AviraFolder;
  std::string ComodoProductName;
  std::string ComodoScannerFolder;

  // Registry-value readers.
  std::string EsetDefinitionKey;  // chosen by the ESET product check
  std::string EsetDefinition;
  std::string WindowsDefenderDefinition;
  std::string AviraDefFile;  // AviraFolder + "aevdf.dat"
  std::string AviraDefinition;

  NortonValues Norton;

  // McAfee: which product line answered the definition reader.
  bool McAfeeVseFound = false;
  bool McAfeeEndpointFound = false;  // never cleared during a run

  // Trend Micro: the install folder a finder gave, the patterns read before
  // and after an update, and what the finders and readers learnt.
  std::string TrendInstallPath;  // ends in "\"
  std::string TrendDefBefore;
  std::string TrendDefAfter;
  std::string TrendEngineVersion;
  bool WorryFreeFound = false;
  std::string WorryFreeScanType;  // "Smart" or "Conventional"
  bool TrendInternetSecurityFound = false;
  bool TrendIS2008Found = false;

  // File-based readers.
  std::string KasperskyDefFile;   // the definition file chosen
  std::string KasperskyFileName;  // "u0607g" or "u1313g"
  std::string KasperskyDefinition;
  std::string EScanDefinition;
  std::string ImmunetPath;  // the clamav folder
  std::string AvastFolder;
  std::string AvastIniPath;
  std::string AvastDefinition;
  std::string BitDefenderPath;
  std::string BitDefenderUpdateFile;  // the last update.txt read
  std::string BitDefenderSignature;
  std::string BitDefenderEngine;
  std::string ComodoDefinition;
  int ComodoAccessIndex = 0;  // 1-9: the mask that opened the uninstall list

  // Tool-output readers.
  std::string AVGCategory;
  std::string AVGDefVersion;
  std::string SophosPath;  // short form, ends in "\"
  // CA eTrust. The ScanEngine folder is kept here, not in the shared engine
  // slot, so that no later family reports a folder as its engine.
  std::string CAScanEnginePath;
  std::string CAIncomingPath;
  std::string CADefBefore;
  std::string CADefAfter;
  int16_t CAReadCount = 0;
  // F-Secure.
  std::string PolUtilFolder;  // ends in "\"
  std::string FSecureFolder;  // ends in "\"
  std::string FSecureCategory;
  std::string AquariusIniPath;
  // VIPRE.
  std::string VipreType;
  std::string VipreInstallPath;  // short form, ends in "\"
  std::string VipreDefVersion;
  std::string VipreEngineVersion;

  // Gateway index and network settings.
  GatewayIndexValues GatewayIndex;
  ProxySettingsRead ProxyCache;
};
