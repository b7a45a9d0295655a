// The process's reference for the shell: its count tells the shell's references from the owner's, the
// shell hands it out once published, and it is taken back when its owner goes.
#include "app/ProcessReference.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

// The shell's own view: what a component asking for the process's reference gets (a reference of its own).
IUnknown* AskTheShell() {
    IUnknown* held = nullptr;
    return SUCCEEDED(SHGetInstanceExplorer(&held)) ? held : nullptr;
}

} // namespace

TEST(ProcessReference, CountsTheReferencesOthersHold) {
    ProcessReference reference;
    EXPECT_EQ(nullptr, reference.Object());
    EXPECT_EQ(0, reference.HeldByShell());
    ASSERT_EQ(1, reference.Publish());
    ASSERT_NE(nullptr, reference.Object());
    EXPECT_EQ(0, reference.HeldByShell()) << "only the owner holds it";
    IUnknown* object = reference.Object();
    object->AddRef();
    object->AddRef();
    EXPECT_EQ(1, reference.HeldByShell());
    object->Release();
    EXPECT_EQ(1, reference.HeldByShell());
    object->Release();
    EXPECT_EQ(0, reference.HeldByShell());
    // Asked for any interface it is IUnknown only, and QueryInterface counts like AddRef.
    IUnknown* same = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&same)));
    EXPECT_EQ(object, same);
    EXPECT_EQ(1, reference.HeldByShell());
    same->Release();
    void* other = &same;
    EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(0, reference.HeldByShell());
    EXPECT_EQ(1, reference.Publish()) << "once per owner";
    EXPECT_EQ(object, reference.Object());
}

TEST(ProcessReference, ThePublishedObjectIsWhatTheShellHandsOut) {
    ASSERT_EQ(nullptr, AskTheShell()) << "published before";
    IUnknown* kept = nullptr;
    {
        ProcessReference reference;
        ASSERT_EQ(1, reference.Publish());
        IUnknown* held = AskTheShell();
        ASSERT_EQ(reference.Object(), held);
        EXPECT_EQ(1, reference.HeldByShell()) << "the component's reference is counted";
        held->Release();
        EXPECT_EQ(0, reference.HeldByShell());

        // Windows 8 and later hand it out as the process reference too.
        typedef HRESULT(WINAPI * GetReferenceFn)(IUnknown**);
        HMODULE core = LoadLibraryW(L"shcore.dll");
        GetReferenceFn getReference =
            core
                ? reinterpret_cast<GetReferenceFn>(reinterpret_cast<void*>(GetProcAddress(core, "GetProcessReference")))
                : nullptr;
        if (getReference) {
            held = nullptr;
            ASSERT_EQ(S_OK, getReference(&held));
            EXPECT_EQ(reference.Object(), held);
            held->Release();
        }
        if (core)
            FreeLibrary(core);
        // A component that still holds it when the owner goes.
        kept = AskTheShell();
        ASSERT_NE(nullptr, kept);
    }
    EXPECT_EQ(nullptr, AskTheShell()) << "not taken back with its owner";
    // The component's reference is the last one, and keeps the object alive until it lets go.
    EXPECT_EQ(2u, kept->AddRef());
    EXPECT_EQ(1u, kept->Release());
    EXPECT_EQ(0u, kept->Release());
}

TEST(ProcessReference, TheShellKeepsTheProcessForABoundedTime) {
    ProcessReference reference;
    EXPECT_EQ(0, reference.KeepsProcess(60000)) << "not published";
    ASSERT_EQ(1, reference.Publish());
    EXPECT_EQ(0, reference.KeepsProcess(60000)) << "nobody holds it";
    IUnknown* held = AskTheShell();
    ASSERT_NE(nullptr, held);
    EXPECT_EQ(1, reference.KeepsProcess(200));
    Sleep(300);
    EXPECT_EQ(0, reference.KeepsProcess(200)) << "held past the bound";
    held->Release();
    EXPECT_EQ(0, reference.KeepsProcess(200));
    // Let go and taken again: the bound counts from the new hold.
    held = AskTheShell();
    EXPECT_EQ(1, reference.KeepsProcess(200));
    held->Release();
}
