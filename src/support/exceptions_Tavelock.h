// The kit's exception tree. Every failure carries one message; catchers tell failures apart by class.
#pragma once

#include <functional>
#include <string>

#include "classlib/SysUtils.h"

// Turns an English kit text into the chosen language; the text unchanged when no translator is set
// or the translator does not know it.
std::string TranslateString(const std::string& text);
// The translation of an English format text, or the English text itself when the translation's
// placeholders (%s, %d, ...) differ from it in number, kind or order, so the arguments always fit.
std::string TranslateFormat(const std::string& format);
// The conversion letters of a format in order, "%%" left out: "%-5d of %s" gives "ds".
std::string FormatPlaceholders(const std::string& format);
// Installs the process's translation (an empty function removes it). The translator sets this.
void SetStringTranslator(std::function<std::string(const std::string&)> translate);

// The install run was stopped.
TVK_DECLARE_EXCEPTION(EAI, Exception);
class EAIUserAbort : public EAI {
 public:
  EAIUserAbort() : EAI("Installation aborted by the user") {}
};

// Kit errors.
TVK_DECLARE_EXCEPTION(ECustomTavelockAbnormal, Exception);
TVK_DECLARE_EXCEPTION(ETavelockAbnormal, ECustomTavelockAbnormal);
TVK_DECLARE_EXCEPTION(ETvlkCompress, ETavelockAbnormal);  // archive format and engine
TVK_DECLARE_EXCEPTION(EtcDiskFull, ETvlkCompress);
TVK_DECLARE_EXCEPTION(EtcAborted, ETvlkCompress);
TVK_DECLARE_EXCEPTION(EtcUnusableName, ETvlkCompress);  // an entry's name cannot be a file where it goes
TVK_DECLARE_EXCEPTION(EAPIRoutines, ETavelockAbnormal);  // a system query failed

// Component errors: the message is translated when the exception is made, not when it is shown.
class IException : public ECustomTavelockAbnormal {
 public:
  explicit IException(const std::string& message) : ECustomTavelockAbnormal(TranslateString(message)) {}
  IException(const std::string& format, const FormatArgs& args)
      : ECustomTavelockAbnormal(TranslateFormat(format), args) {}
};
TVK_DECLARE_EXCEPTION(IEInstall, IException);
TVK_DECLARE_EXCEPTION(IECommandLine, IException);  // a parameter the program does not know
TVK_DECLARE_EXCEPTION(IEInstallCancelled, IEInstall);  // the user said no to a question of the kit
TVK_DECLARE_EXCEPTION(IEInstallNetLocNil, IEInstall);
TVK_DECLARE_EXCEPTION(IEPathSpecifier, IException);
TVK_DECLARE_EXCEPTION(IEPathSpecifierList, IException);
TVK_DECLARE_EXCEPTION(IENoTavelockPath, IException);
TVK_DECLARE_EXCEPTION(IEInstallContainer, IException);
TVK_DECLARE_EXCEPTION(IEContainerList, IException);
TVK_DECLARE_EXCEPTION(IEFileRelated, IException);
TVK_DECLARE_EXCEPTION(IEFileRel_NoNetLocation, IEFileRelated);
TVK_DECLARE_EXCEPTION(IEFileContainer, IException);
TVK_DECLARE_EXCEPTION(IEfcDuplicateFile, IEFileContainer);
TVK_DECLARE_EXCEPTION(IECustomInstallFile, IException);
TVK_DECLARE_EXCEPTION(IECustomInstallFileList, IException);

// A registry value was not written.
TVK_DECLARE_EXCEPTION(EIRCannotWriteValue, Exception);

// Net install locations: one class per failing step.
TVK_DECLARE_EXCEPTION(ENIL, Exception);
TVK_DECLARE_EXCEPTION(ENIL_OpenSession, ENIL);
TVK_DECLARE_EXCEPTION(ENIL_OpenService, ENIL);
TVK_DECLARE_EXCEPTION(ENIL_FailDataQuery, ENIL);
TVK_DECLARE_EXCEPTION(ENIL_ReadFile, ENIL);
TVK_DECLARE_EXCEPTION(ENIL_FileNotFound, ENIL);
TVK_DECLARE_EXCEPTION(IENetList, ENIL);
TVK_DECLARE_EXCEPTION(ENIL_FTP, ENIL);
TVK_DECLARE_EXCEPTION(ENIL_FTPSetDir, ENIL_FTP);
TVK_DECLARE_EXCEPTION(ENIL_FTPOpenFile, ENIL_FTP);
TVK_DECLARE_EXCEPTION(ENIL_FTPCloseFile, ENIL_FTP);
TVK_DECLARE_EXCEPTION(ENIL_HTTP, ENIL);
TVK_DECLARE_EXCEPTION(ENIL_HTTPOpenFile, ENIL_HTTP);
TVK_DECLARE_EXCEPTION(ENIL_HTTPSendRequest, ENIL_HTTP);
// Local failures of a download, deliberately outside ENIL.
TVK_DECLARE_EXCEPTION(ENIL_WriteDestFile, Exception);
TVK_DECLARE_EXCEPTION(ENIL_FailLoadWININET, Exception);
TVK_DECLARE_EXCEPTION(ENIL_FailLoadDLLProc, Exception);
