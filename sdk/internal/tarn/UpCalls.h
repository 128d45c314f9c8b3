#ifndef TARN_UP_CALLS_H
#define TARN_UP_CALLS_H

// Calls from the SDK into objects a binding made (a Python sink, through
// its director) pass a gate that the binding closes when its interpreter
// finalises: from then on no SDK thread calls into it, since taking the
// interpreter lock then would end the thread in the middle of SDK code.
// Closing waits for the calls already in progress, so the binding must
// close it without holding what those calls need (the interpreter lock).
// One gate for the process, in libZuBase, shared by every SDK library.

#include "ZuBaseApi.h"

#include <exception>
#include <functional>
#include <memory>

namespace tarn {

struct ZU_API UpCalls {
    // False once the gate is closed: the call must not be made.
    static bool Enter();
    static void Leave();
    // Closes the gate and waits for the calls in progress on other threads.
    static void Close();
    static bool Closed();
    // The calling thread has a call through the gate in progress.
    static bool Calling();
    // aHeld goes once the calls this thread has in progress have returned
    // (at once when it has none): what a binding holds for a sink that
    // leaves, or whose object goes, from inside the sink's own call must
    // outlive that call.
    static void ReleaseAfterCalls(std::shared_ptr<void> aHeld);

    // The process is exiting: each binding's steps that must end while the
    // application can still be called (stopping what would call it), in
    // ascending order, then the gate closes. Run once, by the first binding
    // that registered (AtExit answers true to it), from its interpreter's
    // exit handlers; a null step only asks.
    static bool AtExit(int aOrder, void (*aStep)());
    static void Exit();

    // What the exit stops, in its order's turn (after that order's steps),
    // while the application can still hear it stop: the live objects that
    // would call it. aStop runs once, from the exit, without the gate's
    // lock, unless Gone came first; an object that another thread may let
    // go meanwhile checks IsLive under whatever lock that thread takes.
    enum ExitOrder : int { kExitPipelines = 1, kExitDevices = 2 };
    static void Live(const void *aObject, int aOrder, std::function<void()> aStop);
    static void Gone(const void *aObject);
    static bool IsLive(const void *aObject);

    // What a binding's up-call throws into the SDK once the gate is closed.
    struct Refused : std::exception {
        const char *what() const noexcept override { return "no call into the application: it is exiting"; }
    };

    // One call through the gate.
    class Scope
    {
    public:
        Scope() : mOpen(Enter()) {}
        ~Scope()
        {
            if (mOpen) Leave();
        }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
        explicit operator bool() const { return mOpen; }

    private:
        bool mOpen;
    };
};

} // namespace tarn

#endif
