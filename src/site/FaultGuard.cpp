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

#elif defined(__x86_64__)

// x64 unwinding is table based: the guard is a small routine whose unwind
// data names a language handler, written in assembly because GCC has no
// __try. The handler unwinds the faulting frames back to the routine, which
// then returns 0 instead of 1.
extern "C" {
int VxGuardedCall(void (*fn)(void*), void* pContext);
extern char VxGuardedCallResume[];
EXCEPTION_DISPOSITION VxGuardHandler(EXCEPTION_RECORD*, void*, CONTEXT*, DISPATCHER_CONTEXT*);
}

__asm__(
    "    .text\n"
    "    .globl VxGuardedCall\n"
    "    .def VxGuardedCall; .scl 2; .type 32; .endef\n"
    "    .seh_proc VxGuardedCall\n"
    "VxGuardedCall:\n"
    // Home space for the callee, and a 16-byte aligned stack at the call.
    "    subq $40, %rsp\n"
    "    .seh_stackalloc 40\n"
    "    .seh_endprologue\n"
    "    .seh_handler VxGuardHandler, @except\n"
    "    movq %rcx, %rax\n"
    "    movq %rdx, %rcx\n"
    "    callq *%rax\n"
    "    movl $1, %eax\n"
    "    jmp 1f\n"
    "    .globl VxGuardedCallResume\n"
    "VxGuardedCallResume:\n"
    "    xorl %eax, %eax\n"
    "1:\n"
    "    addq $40, %rsp\n"
    "    ret\n"
    "    .seh_endproc\n");

extern "C" EXCEPTION_DISPOSITION VxGuardHandler(EXCEPTION_RECORD* pRecord, void* pEstablisherFrame, CONTEXT*,
                                                 DISPATCHER_CONTEXT* pDispatch) {
    if (pRecord->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;
    // Does not return: the frames between are unwound (their non-volatile
    // registers restored) and execution resumes in VxGuardedCall's frame.
    RtlUnwindEx(pEstablisherFrame, VxGuardedCallResume, pRecord, nullptr, pDispatch->ContextRecord,
                pDispatch->HistoryTable);
    return ExceptionContinueSearch;
}

bool CallFaultGuarded(void (*fn)(void*), void* pContext) { return VxGuardedCall(fn, pContext) != 0; }

#else
#error "CallFaultGuarded needs an implementation for this processor"
#endif
