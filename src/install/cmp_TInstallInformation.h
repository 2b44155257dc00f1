// The identity of the installed product and the build settings stored with the install component.
#pragma once

#include <string>

#include "classlib/Classes.h"

class TInstallInformation : public TPersistent {
 public:
  std::string ClassName() const override { return "TInstallInformation"; }
  void Assign(const TPersistent* source) override;

  const std::string& CompanyName() const { return companyName_; }
  void SetCompanyName(const std::string& value) { companyName_ = value; }
  // Names the product's uninstall key.
  const std::string& ProductName() const { return productName_; }
  void SetProductName(const std::string& value) { productName_ = value; }
  const std::string& Version() const { return version_; }
  void SetVersion(const std::string& value) { version_ = value; }

 private:
  std::string companyName_ = "My Company";
  std::string productName_ = "My product";
  std::string version_ = "1.0";
};

// Stored with the form for the tools that build distributions. The build (-b) signs what it makes when
// SignCode is set, with the PKCS#12 CredentialsFile and the password in PrivateKeyFile.
class TBuildInfo : public TPersistent {
 public:
  std::string ClassName() const override { return "TBuildInfo"; }
  void Assign(const TPersistent* source) override;

  std::string AppName;
  std::string AppURL;
  std::string BuildDirectory = "c:\\build";
  std::string CredentialsFile;
  std::string OCXName = "tksetup";
  std::string PrivateKeyFile;
  bool SignCode = false;
  std::string URLPath;
};
