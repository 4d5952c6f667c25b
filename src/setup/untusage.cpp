#include "setup/untusage.h"

namespace qb {

std::string UsageLabel4Text() {
  return "3) Before receiving your emails from your client, Quillbright will popup and list your "
         "unread emails \n"
         "\n"
         "4) Check emails to be deleted from your account\n"
         "\n"
         "5) Click \"Remove Checked\"";
}

void TfrmUsage::Button1Click() {
  if (OnSetupWizard) OnSetupWizard(this);
}

}  // namespace qb
