#pragma once
// Reading an iPod's database for this program's own use, inside ipod/ only:
// libgpod's types do not mix with Qt's.

#include <string>

#include "GpodHandles.h"
#include "IpodFinder.h"

// As DescribeIpod; when the database read completely, `database` holds it.
TIpod ReadIpod(const std::string& folder, TGpodDatabasePtr& database);
