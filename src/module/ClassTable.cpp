#include "module/ClassTable.h"

#include <comcat.h>

#include "control/Office.h"
#include "fw/Object.h"
#include "module/VellixIdl.h"
#include "module/resource.h"
#include "site/DocObject.h"

namespace fw {
CModule g_module;
}

HINSTANCE g_hInstance = nullptr;

namespace {

// {7DD95801-9882-11CF-9FA9-00AA006C42C4}, {7DD95802-9882-11CF-9FA9-00AA006C42C4}
const CATID kOfficeCategories[] = {
    {0x7dd95801, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}},
    {0x7dd95802, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}},
};

// Served and registered in this order.
fw::ClassEntry g_classes[] = {
    {&CLSID_Office, &fw::Creator<COffice>::CreateInstance, IDR_OFFICE, kOfficeCategories, 2, nullptr},
    {&CLSID_DocObject, &fw::Creator<CDocObject>::CreateInstance, IDR_DOCOBJECT, nullptr, 0, nullptr},
    {nullptr, nullptr, 0, nullptr, 0, nullptr},
};

}  // namespace

void InitModule(HINSTANCE hInstance) {
    g_hInstance = hInstance;
    fw::g_module.Init(g_classes, hInstance, &LIBID_VELLIXLib);
}

void TermModule() { fw::g_module.Term(); }
