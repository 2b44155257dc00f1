#include "install/cmp_TInstallInformation.h"

void TInstallInformation::Assign(const TPersistent* source) {
  if (const auto* info = dynamic_cast<const TInstallInformation*>(source)) {
    companyName_ = info->companyName_;
    productName_ = info->productName_;
    version_ = info->version_;
    return;
  }
  TPersistent::Assign(source);
}

void TBuildInfo::Assign(const TPersistent* source) {
  if (const auto* info = dynamic_cast<const TBuildInfo*>(source)) {
    AppName = info->AppName;
    AppURL = info->AppURL;
    BuildDirectory = info->BuildDirectory;
    CredentialsFile = info->CredentialsFile;
    OCXName = info->OCXName;
    PrivateKeyFile = info->PrivateKeyFile;
    SignCode = info->SignCode;
    URLPath = info->URLPath;
    return;
  }
  TPersistent::Assign(source);
}
