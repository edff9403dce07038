// Functions reached through a stub at a fixed address, so that a function pointer the host hands
// out is the same number on every run even though the host itself is loaded anywhere.
#pragma once

// The stub's address for `target`, the same for the n-th stub of every run; `target` itself where
// no stub can be made (an architecture without one, or the fixed page taken).
void* FixedStub(void* target);

template <typename Function>
Function FixedCode(Function target) {
    return reinterpret_cast<Function>(FixedStub(reinterpret_cast<void*>(target)));
}
