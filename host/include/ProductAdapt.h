// The host's product-adaptation queries.
#pragma once

#include <string>

namespace ProductAdapt {

class MachineOSInfo {
public:
    // The OS's current build number as decimal text ("CurrentBuildNumber" under
    // HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion); empty
    // when it cannot be read.
    static std::string GetOSCurrentBuildNumber();
};

class MachineType {
public:
    static const MachineType& GetInstance();
    // A retail (shop display) machine is marked by the DWORD value
    // "RetailComputer" = 1 under HKEY_LOCAL_MACHINE\SOFTWARE\Norvane\DeskSuite.
    // Read on every call, so that a machine's role can change while the service runs.
    bool IsRetailComputer() const;

private:
    MachineType() = default;
};

}  // namespace ProductAdapt
