#include "base/Clock.h"
#include "base/Event.h"
#include "base/Library.h"
#include "base/SlotArray.h"
#include "base/Stopwatch.h"
#include "base/SyncList.h"
#include "base/WString.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <string>
#include <wctype.h>
#include <vector>

namespace {

struct Number : public SyncListItem {
    Number(int v, int t = 0) : value(v), tag(t) {}
    ~Number() override { destroyed++; }
    int value;
    int tag;
    static int destroyed;
};
int Number::destroyed = 0;

int ByValue(const SyncListItem* present, const SyncListItem* added, void*) {
    return static_cast<const Number*>(present)->value - static_cast<const Number*>(added)->value;
}

std::vector<int> Tags(const SyncList& list) {
    std::vector<int> tags;
    for (SyncListItem* item = list.First(); item; item = list.Next(item))
        tags.push_back(static_cast<Number*>(item)->tag);
    return tags;
}

} // namespace

TEST(SyncList, InsertSortedIsAscendingAndStable) {
    SyncList list;
    EXPECT_TRUE(list.IsEmpty());
    list.InsertSorted(new Number(5, 1), ByValue, nullptr);
    ASSERT_FALSE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.Next(list.First()));
    list.InsertSorted(new Number(3, 2), ByValue, nullptr);
    list.InsertSorted(new Number(5, 3), ByValue, nullptr);
    list.InsertSorted(new Number(9, 4), ByValue, nullptr);
    list.InsertSorted(new Number(5, 5), ByValue, nullptr);
    list.InsertSorted(new Number(1, 6), ByValue, nullptr);
    // Equal values keep their insertion order: tags 1, 3, 5 for the three fives.
    EXPECT_EQ((std::vector<int>{6, 2, 1, 3, 5, 4}), Tags(list));
    Number::destroyed = 0;
    list.Clear();
    EXPECT_EQ(6, Number::destroyed);
    EXPECT_TRUE(list.IsEmpty());
}

TEST(SyncList, RemoveOfAStrangerChangesNothing) {
    SyncList list;
    Number a(1, 1), b(2, 2), c(3, 3), stranger(4, 4);
    list.PushBack(&b);
    list.PushFront(&a);
    list.PushBack(&c);
    EXPECT_EQ(0, list.Remove(&stranger));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), Tags(list));
    EXPECT_EQ(1, list.Remove(&b));
    EXPECT_EQ((std::vector<int>{1, 3}), Tags(list));
    EXPECT_EQ(0, list.Remove(&b));
    list.InsertBefore(&a, &b);
    EXPECT_EQ((std::vector<int>{2, 1, 3}), Tags(list));
    EXPECT_EQ(1, list.Remove(&c));
    EXPECT_EQ(1, list.Remove(&b));
    EXPECT_EQ(1, list.Remove(&a));
    EXPECT_TRUE(list.IsEmpty());
}

namespace {

struct PushContext {
    SyncList* list;
    HANDLE started;
};

DWORD WINAPI PushFromAnotherThread(void* parameter) {
    PushContext* context = static_cast<PushContext*>(parameter);
    SetEvent(context->started);
    context->list->PushBack(new Number(2, 2));
    return 0;
}

int received = 0;

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 7)
        received++;
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TEST(SyncList, ModificationWaitsForARunningIteration) {
    SyncList list;
    list.PushBack(new Number(1, 1));
    list.BeginIteration();
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PushContext context = {&list, started};
    HANDLE thread = CreateThread(nullptr, 0, PushFromAnotherThread, &context, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(started, INFINITE);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(thread, 200)) << "the push must wait for the iteration";
    // Iterations may begin while the modification waits, and it waits for the last of them.
    list.BeginIteration();
    list.EndIteration();
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(thread, 200)) << "one iteration still runs";
    EXPECT_EQ((std::vector<int>{1}), Tags(list));
    list.EndIteration();
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    EXPECT_EQ((std::vector<int>{1, 2}), Tags(list));
    CloseHandle(thread);
    CloseHandle(started);
    list.Clear();
}

TEST(SyncList, AListUsedByOneThreadHoldsNoKernelObject) {
    // One thread alone: lists made, filled, walked and cleared hold no kernel object at any point.
    DWORD handlesBefore = 0, handlesDuring = 0, handlesAfter = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handlesBefore));
    {
        std::vector<SyncList> lists(50);
        for (SyncList& list : lists) {
            for (int i = 0; i < 5; i++)
                list.InsertSorted(new Number(5 - i, i), ByValue, nullptr);
            list.BeginIteration();
            list.EndIteration();
            list.Remove(list.First());
        }
        GetProcessHandleCount(GetCurrentProcess(), &handlesDuring);
        for (SyncList& list : lists)
            list.Clear();
    }
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_EQ(handlesBefore, handlesDuring);
    EXPECT_EQ(handlesBefore, handlesAfter);
}

namespace {

int Sum(unsigned, uintptr_t value, void* userData) {
    *static_cast<uintptr_t*>(userData) += value;
    return 1;
}

} // namespace

TEST(SlotArray, AddReusesEmptySlotsAndGrows) {
    SlotArray slots;
    ASSERT_EQ(1, slots.Setup(nullptr, 2, 4, SlotArray::MAY_GROW));
    EXPECT_EQ(1, slots.Add(10));
    EXPECT_EQ(1, slots.Add(20));
    EXPECT_EQ(1, slots.Add(30)); // grows to 2 + 4 slots
    EXPECT_EQ(3u, slots.Count());
    EXPECT_EQ(1, slots.RemoveValue(20));
    EXPECT_EQ(0, slots.RemoveValue(99));
    EXPECT_EQ(1, slots.Add(40));
    EXPECT_EQ(40u, slots.GetAt(1));
    uintptr_t total = 0;
    EXPECT_EQ(1, slots.ForEach(Sum, &total));
    EXPECT_EQ(80u, total);

    uintptr_t fixed[2] = {0, 0};
    SlotArray bounded;
    ASSERT_EQ(1, bounded.Setup(fixed, 2, 0, SlotArray::PREFILLED));
    EXPECT_EQ(2u, bounded.Count());
    EXPECT_EQ(1, bounded.Add(7));
    EXPECT_EQ(7u, fixed[0]);
    EXPECT_EQ(1, bounded.Add(8));
    EXPECT_EQ(0, bounded.Add(9)) << "a fixed array does not grow";
}

TEST(SlotArray, GrowthThatCannotBeAddressedFails) {
    SlotArray slots;
    ASSERT_EQ(1, slots.Setup(nullptr, 2, 4, SlotArray::MAY_GROW));
    EXPECT_EQ(0, slots.SetAt(0xFFFFFFFFu, 1)) << "the slot count would wrap to a tiny block";
    if (sizeof(void*) == 4) {
        EXPECT_EQ(0, slots.SetAt(0x40000000u, 1)) << "the byte size would wrap on 32-bit";
    }
    EXPECT_EQ(1, slots.SetAt(5, 7));
    EXPECT_EQ(6u, slots.Count());
    EXPECT_EQ(7u, slots.GetAt(5));
}

TEST(Event, WaitReportsTimeoutAndSignal) {
    Event event;
    ASSERT_EQ(1, event.Create(Event::MANUAL_RESET, Event::UNSIGNALLED, nullptr, Event::SESSION_NAME));
    int timedOut = 0;
    EXPECT_EQ(0, event.Wait(10, &timedOut, nullptr));
    EXPECT_EQ(1, timedOut);
    event.Set();
    EXPECT_EQ(1, event.Wait(0, &timedOut, nullptr));
    EXPECT_EQ(0, timedOut);
    event.Reset();
    HANDLE other = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(1, event.Wait(1000, &timedOut, &other));
    CloseHandle(other);
}

TEST(Event, GlobalEventIsCreatedInTheGlobalNamespace) {
    std::wstring name = L"VeltrixTestEvent" + std::to_wstring(GetCurrentProcessId());
    Event event;
    ASSERT_EQ(1, event.Create(Event::MANUAL_RESET, Event::UNSIGNALLED, name.c_str(), Event::GLOBAL_NAME));
    HANDLE opened = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (L"Global\\" + name).c_str());
    ASSERT_NE(nullptr, opened) << "the event is reachable under Global\\";
    SetEvent(opened);
    int timedOut = 1;
    EXPECT_EQ(1, event.Wait(1000, &timedOut, nullptr));
    CloseHandle(opened);
}

TEST(Event, WaitPumpingDispatchesPendingMessagesOnce) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VeltrixPumpTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"VeltrixPumpTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);

    Event event;
    event.Create(Event::MANUAL_RESET, Event::UNSIGNALLED, nullptr, Event::SESSION_NAME);
    PostMessageW(window, WM_APP + 7, 0, 0);
    PostMessageW(window, WM_APP + 7, 0, 0);
    EXPECT_EQ(0, event.WaitPumping(0, nullptr));
    EXPECT_EQ(2, received);

    event.Set();
    EXPECT_EQ(1, event.WaitPumping(0, nullptr)) << "an already signalled event ends the wait at once";

    // A quit message ends the wait and is put back for the caller's loop.
    event.Reset();
    PostQuitMessage(3);
    EXPECT_EQ(0, event.WaitPumping(5000, nullptr));
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(3, (int)message.wParam);
    DestroyWindow(window);
}

TEST(Clock, UnixEpochAndFormatting) {
    SYSTEMTIME time;
    ASSERT_EQ(1, UnixTimeToSystemTime(&time, 0, 0));
    EXPECT_EQ(1970, time.wYear);
    EXPECT_EQ(1, time.wMonth);
    EXPECT_EQ(1, time.wDay);
    EXPECT_EQ(0, time.wHour);
    EXPECT_EQ(0, time.wMinute);
    EXPECT_EQ(0, time.wSecond);
    ASSERT_EQ(1, UnixTimeToSystemTime(&time, 1700000000ull, 0));
    EXPECT_EQ(2023, time.wYear);
    EXPECT_EQ(11, time.wMonth);
    EXPECT_EQ(14, time.wDay);
    EXPECT_EQ(22, time.wHour);
    EXPECT_EQ(13, time.wMinute);
    EXPECT_EQ(20, time.wSecond);

    WString text;
    ASSERT_EQ(1, FormatDate(text, 0, &time, 0));
    EXPECT_NE(nullptr, text.Find(L"2023"));
    ASSERT_EQ(1, FormatTime(text, TIME_FORCE24HOURFORMAT, &time, 0));
    EXPECT_NE(nullptr, text.Find(L"22"));
    EXPECT_EQ(1, FormatDate(text, 0, nullptr, 1));
    EXPECT_GT(text.Length(), 5);
}

TEST(Clock, TickCountAndStopwatch) {
    unsigned long long before = TickCount64();
    Stopwatch watch;
    EXPECT_EQ((unsigned)Stopwatch::USE_TIME_GET_TIME, watch.flags);
    watch.Start();
    Sleep(30);
    watch.Stop();
    EXPECT_GE(watch.Milliseconds(), 20u);
    EXPECT_EQ(watch.elapsed * 1000, watch.Microseconds());
    EXPECT_GE(TickCount64(), before);

    ASSERT_EQ(1, watch.UseHighResolution(1));
    EXPECT_GT(watch.frequency, 0u);
    watch.Start();
    Sleep(30);
    watch.Stop();
    EXPECT_GE(watch.Milliseconds(), 20u);
    EXPECT_GE(watch.Microseconds(), 20000u);

    // Without the counter, the tick difference is returned unchanged.
    EXPECT_EQ(1, watch.UseHighResolution(0));
    watch.elapsed = 1234;
    EXPECT_EQ(1234u, watch.Milliseconds());
}

TEST(Library, CommonControlsComeFromTheAssemblyTheManifestAsksFor) {
    // This program carries Veltrix's manifest, which asks for the common controls 6 assembly. Both
    // loader paths must honour it: a full system path would give the older library of the system folder.
    // (Wine's assembly copy reports version 5.81 like its system one; Windows' reports 6.)
    bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    typedef HRESULT(CALLBACK * DllGetVersionFn)(DLLVERSIONINFO*);
    for (int useSearchFlags = 0; useSearchFlags < 2; useSearchFlags++) {
        HMODULE comctl = Library::LoadFromSystem(L"comctl32.dll", useSearchFlags);
        ASSERT_NE(nullptr, comctl);
        wchar_t path[MAX_PATH] = L"";
        GetModuleFileNameW(comctl, path, MAX_PATH);
        std::wstring lower = path;
        for (wchar_t& c : lower)
            c = towlower(c);
        EXPECT_NE(std::wstring::npos, lower.find(L"\\winsxs\\"))
            << "loaded " << std::string(lower.begin(), lower.end()) << " with the search flag " << useSearchFlags;
        EXPECT_NE(std::wstring::npos, lower.find(L"common-controls_6595b64144ccf1df_6."));
        auto getVersion = (DllGetVersionFn)(void*)GetProcAddress(comctl, "DllGetVersion");
        DLLVERSIONINFO version = {sizeof(version), 0, 0, 0, 0};
        ASSERT_TRUE(getVersion && SUCCEEDED(getVersion(&version)));
        if (!wine) {
            EXPECT_EQ(6u, version.dwMajorVersion);
        }
        FreeLibrary(comctl);
    }
}

TEST(Library, BareNamesLoadFromTheSystemFolderOnly) {
    // A library named like a system DLL lies beside this test program.
    wchar_t own[MAX_PATH];
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring planted = own;
    planted = planted.substr(0, planted.rfind(L'\\') + 1) + L"dciman32.dll";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(planted.c_str())) << "the planted library is missing";

    // Windows prefers a library beside the program for a bare name. Wine prefers its own built-in
    // libraries unless told otherwise; the test session tells it to search like Windows for this name
    // in this program (tools/wine-session), which the explicit load below confirms.
    // A path is the caller's choice and is taken as given.
    Library explicitPath;
    ASSERT_EQ(1, explicitPath.Load(planted.c_str()));
    EXPECT_NE(nullptr, explicitPath.GetProc("VeltrixPlantedMarker"));
    // Unloaded again: the loader hands out an already loaded module of the same name.
    explicitPath.Free();

    Library library;
    ASSERT_EQ(1, library.Load(L"dciman32.dll"));
    EXPECT_EQ(nullptr, library.GetProc("VeltrixPlantedMarker")) << "the planted library was loaded";
    wchar_t loaded[MAX_PATH], system[MAX_PATH];
    GetModuleFileNameW(library.Handle(), loaded, MAX_PATH);
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(0, _wcsnicmp(loaded, system, wcslen(system))) << "loaded from elsewhere";
    // Loaders without the system-folder search flag (Vista, 7 without its update) are kept off the
    // planted library too.
    HMODULE old = Library::LoadFromSystem(L"dciman32.dll", 0);
    ASSERT_NE(nullptr, old);
    EXPECT_EQ(nullptr, GetProcAddress(old, "VeltrixPlantedMarker")) << "the planted library was loaded";
    FreeLibrary(old);

    Library missing;
    EXPECT_EQ(0, missing.Load(L"no-such-library-veltrix.dll"));
    EXPECT_EQ(nullptr, missing.GetProc("anything"));
    Library kernel(L"kernel32.dll");
    EXPECT_NE(nullptr, kernel.GetProc("GetTickCount"));
    EXPECT_EQ(nullptr, kernel.GetProc("NoSuchFunctionAnywhere"));
}
