// Where the library's code meets code that is not ours (the exported calls)
// or ends (a thread's body), an exception must not pass: through a C
// interface it would crash the program, out of a thread it ends the process.
// The only ones our code raises are the standard library's, when memory or a
// new thread cannot be had.
#pragma once

// The result of `work`, or `failed` when it threw.
template <class Result, class Work>
Result FailOnException(Result failed, Work&& work) noexcept
{
    try {
        return work();
    } catch (...) {
        return failed;
    }
}
