#include "ServiceInstall.h"

int InstallService() { return 1; }
int RemoveService() { return 1; }
