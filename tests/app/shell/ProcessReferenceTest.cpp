// The process's reference for the shell: its count tells others' references from the owner's, the shell hands
// it out once published, it is taken back when its owner goes, and it keeps the process for a bounded time.
#include "app/shell/ProcessReference.h"
#include "base/Library.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <memory>

TEST(ProcessReference, CountsWhatOthersHoldAndKeepsTheProcessForABoundedTime) {
    IUnknown *held = nullptr, *none = nullptr;
    ASSERT_TRUE(FAILED(SHGetInstanceExplorer(&none))) << "published before";
    std::unique_ptr<ProcessReference> reference(new ProcessReference);
    EXPECT_TRUE(!reference->Object() && !reference->HeldByShell() && !reference->KeepsProcess(60000));
    ASSERT_EQ(1, reference->Publish());
    IUnknown* object = reference->Object();
    EXPECT_TRUE(object && !reference->HeldByShell() && !reference->KeepsProcess(60000)) << "only the owner holds it";
    // Every way of taking a reference counts; Windows 8 and later hand it out as the process reference too.
    Library core(L"shcore.dll");
    auto getProcessReference = core.Get<HRESULT(WINAPI*)(IUnknown**)>("GetProcessReference");
    std::function<HRESULT(IUnknown**)> takes[] = {
        [&](IUnknown** taken) { return (*taken = object)->AddRef() ? S_OK : E_FAIL; },
        [&](IUnknown** taken) { return object->QueryInterface(IID_IUnknown, (void**)taken); }, SHGetInstanceExplorer,
        getProcessReference ? getProcessReference : SHGetInstanceExplorer};
    for (auto& take : takes) {
        IUnknown *first = nullptr, *second = nullptr;
        ASSERT_TRUE(take(&first) == S_OK && take(&second) == S_OK && first == object && second == object);
        first->Release();
        EXPECT_EQ(1, reference->HeldByShell()) << "counted, not flagged";
        second->Release();
        EXPECT_EQ(0, reference->HeldByShell());
    }
    void* other = &object;
    EXPECT_TRUE(object->QueryInterface(IID_IDispatch, &other) == E_NOINTERFACE && !other && !reference->HeldByShell());
    EXPECT_TRUE(reference->Publish() == 1 && reference->Object() == object) << "once per owner";
    ASSERT_EQ(S_OK, SHGetInstanceExplorer(&held));
    EXPECT_EQ(1, reference->KeepsProcess(200));
    Sleep(300);
    EXPECT_EQ(0, reference->KeepsProcess(200)) << "held past the bound";
    held->Release();
    EXPECT_EQ(0, reference->KeepsProcess(200));
    ASSERT_EQ(S_OK, SHGetInstanceExplorer(&held));
    EXPECT_EQ(1, reference->KeepsProcess(200)) << "the bound counts from the new hold";
    reference.reset();
    EXPECT_TRUE(FAILED(SHGetInstanceExplorer(&none))) << "not taken back with its owner";
    EXPECT_EQ(0u, held->Release()) << "the component's reference, the last one, kept the object";
}
