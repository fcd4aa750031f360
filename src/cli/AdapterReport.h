#pragma once

#include "adapters/LGetAdapterInfo.h"

#include <string>
#include <utility>
#include <vector>

// What `device-finder-cli adapters` prints: for each adapter "<n>. <description>"
// numbered from 1 as the window's adapter list, then indented lines with each
// address and mask, the gateway, the MAC address and DHCP. UTF-8, control
// characters made visible. `only`, when not 0, is the one adapter to show.
std::string AdapterReport(const std::vector<TAdapterInfo>& adapters, int only = 0);

// Every address of an adapter with its mask: the first from the record's
// address and the head of its mask text, the others from the "A: … M: …"
// entries that the mask text goes on with.
std::vector<std::pair<std::string, std::string>> AdapterAddresses(const TAdapterInfo& adapter);
