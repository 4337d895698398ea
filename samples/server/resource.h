// Resource identifiers of VellixPad.dll.
#pragma once

#define IDR_VELLIXPAD 101
#define IDR_TESTCLASSES 102
