// Calls into foreign code that may fault, without taking the host down.
#pragma once

// Runs fn(pContext). A fault or structured exception raised inside it and
// not handled there ends the call early; the result is then false. Nothing
// the call left half done is repaired.
bool CallFaultGuarded(void (*fn)(void* pContext), void* pContext);
