// The -install and -remove switches: register or delete the service.
#pragma once

// Process exit codes: 0 on success, nonzero otherwise.
int InstallService();
int RemoveService();
