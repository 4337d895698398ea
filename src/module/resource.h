// Resource identifiers of Vellix.DLL.
#pragma once

#define IDS_PROJNAME 100
#define IDB_OFFICE 101
#define IDR_OFFICE 102
#define IDR_DOCOBJECT 104
