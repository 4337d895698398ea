#include "site/FaultGuard.h"

#include <windows.h>
#include <excpt.h>
#include <setjmp.h>

#if defined(__i386__) || defined(_M_IX86)

namespace {

// A frame of the thread's exception-handler chain, with the place to go back
// to. GCC has no __try; msvcrt's longjmp unwinds the chain back to the frame
// that was current at setjmp (this one) before it jumps.
struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD record;
    jmp_buf resume;
};

// The thread's own information block (its "Self" field); NtCurrentTeb reads
// the same but trips GCC's array-bounds warning.
NT_TIB* CurrentTib() {
    NT_TIB* pTib;
    __asm__("movl %%fs:0x18, %0" : "=r"(pTib));
    return pTib;
}

EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* pRecord, void* pFrame, CONTEXT*, void*) {
    if (pRecord->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    longjmp(static_cast<GuardFrame*>(pFrame)->resume, 1);
}

}  // namespace

bool CallFaultGuarded(void (*fn)(void*), void* pContext) {
    NT_TIB* pTib = CurrentTib();
    GuardFrame frame;
    frame.record.Next = pTib->ExceptionList;
    frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(GuardHandler);
    pTib->ExceptionList = &frame.record;
    volatile bool bCompleted = false;
    if (setjmp(frame.resume) == 0) {
        fn(pContext);
        bCompleted = true;
    }
    pTib->ExceptionList = frame.record.Next;
    return bCompleted;
}

#else

// Table-based unwinding (x64) needs a compiler that emits handler data for
// this frame; until then the call runs unguarded.
bool CallFaultGuarded(void (*fn)(void*), void* pContext) {
    fn(pContext);
    return true;
}

#endif
