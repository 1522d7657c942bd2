#pragma once

// Every key of the settings file with its default, in one place. Keys of the program's own
// group are read through OrvoEnv::getValue; keys of a model's group through
// OrvoEnv::getGroupValue with the model name as the group. Defaults that depend on the role
// or on the version (listen_port, homelink, urlcheckupdate) are chosen by OrvoEnv.
namespace OrvoSettingsKeys {

struct Key
{
    const char *name;
    const char *defaultValue;
};

// Group "TarvexOrvo".
inline constexpr Key kTimer{"timer", "10"};
inline constexpr Key kMaxLogSize{"maxlogsize", "5242880"};
inline constexpr Key kDebug{"debug", "2"};
inline constexpr Key kTmpDir{"tmpdir", "tmpdir"};
inline constexpr Key kLogFileName{"logfilename", "orvo.log"};
inline constexpr Key kOldLogFileName{"oldlogfilename", "orvo.old"};
inline constexpr Key kUploadFile{"uploadfile", "up.zip"};
inline constexpr Key kVersion{"version", ""};
inline constexpr const char *kListenPort = "listen_port";
inline constexpr const char *kListenPortUser = "18889";
inline constexpr const char *kListenPortOther = "18888";
inline constexpr const char *kHomeLink = "homelink";
inline constexpr const char *kUrlCheckUpdate = "urlcheckupdate";

// Group named after the device model. A flag is on when its value is anything but "0".
inline constexpr Key kDontCheckUploaded{"dontcheckuploaded", "0"};
inline constexpr Key kPsfLanguageFilter{"psflanguagefilter", "1"};
inline constexpr Key kBitFont{"bitfont", "0"};
inline constexpr Key kSpecifyExtFlash{"specifyextflash", "0"};
inline constexpr Key kSaveLanguageImage{"savelangeageimage", "0"};
inline constexpr Key kNewLoadDbApi{"newLoaddbapi", "0"};
inline constexpr Key kSharePath{"sharepath", "/morvia/applications/cycling"};
inline constexpr Key kTraceLogPath{"tracelogpath", "/morvia/applications/cycling/data/tracelog"};
// Where the file-system devices keep their id and versions, their application's version and the
// user's training settings, below the drive root.
inline constexpr Key kDeviceIniPath{"deviceinipath", "/device.ini"};
inline constexpr Key kApVersionPath{"apversionpath", "/morvia/version.ini"};
inline constexpr Key kProfilePath{"profilepath", "/morvia/applications/training/user_settings.xml"};
inline constexpr Key kApPath{"appath", "/morvia"};
inline constexpr Key kMinOrvoVer{"MinOrvoVer", ""};
inline constexpr Key kMinImgVer{"MinImgVer", ""};
inline constexpr Key kMinIapVer{"MinIapVer", ""};
inline constexpr Key kMinApVer{"MinApVer", ""};

// Group "Update" of a downloaded version or release file.
inline constexpr const char *kUpdateGroup = "Update";

// The maker's addresses; only the version service's path is fixed.
inline constexpr const char *kHomeLinkProduction = "https://www.tarvex.com/";
inline constexpr const char *kHomeLinkBeta = "https://beta.tarvex.com/";
inline constexpr const char *kUpdateUrlProduction = "https://update.tarvex.com/versions/index";
inline constexpr const char *kUpdateUrlBeta = "https://beta-update.tarvex.com/versions/index";

} // namespace OrvoSettingsKeys
