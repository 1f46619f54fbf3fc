// The trap hand-shake against the agent's own sources, with the storage
// library and SnmpUtilMemAlloc replaced by the test's own, so that an
// allocation can fail on demand.
#include <gtest/gtest.h>

#include <windows.h>
#include <snmp.h>

#include <atomic>
#include <cstring>
#include <string>

#include "fake_storage_library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

std::atomic<bool> g_allocationsFail{false};

}  // namespace

// From the same heap the SNMP utility library frees to; never zeroed, like
// the real one.
extern "C" LPVOID WINAPI SnmpUtilMemAlloc(UINT bytes)
{
    if (g_allocationsFail)
        return NULL;
    void* block = HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1);
    memset(block, 0xCD, bytes);
    return block;
}

namespace {

struct CollectedTrap {
    BOOL returned;
    AsnInteger32 specificTrap;
    std::string text;
};

CollectedTrap CallTrap()
{
    AsnObjectIdentifier enterprise = {};
    AsnInteger32 generic = 0;
    AsnTimeticks stamp = 0;
    SnmpVarBindList bindings = {};
    CollectedTrap trap = {FALSE, 0, ""};
    trap.returned = SnmpExtensionTrap(&enterprise, &generic, &trap.specificTrap, &stamp, &bindings);
    if (trap.returned) {
        const AsnOctetString& text = bindings.list[1].value.asnValue.string;
        trap.text.assign((const char*)text.stream, text.length);
        SnmpUtilVarBindListFree(&bindings);
    }
    return trap;
}

class TrapSeamTest : public ::testing::Test {
protected:
    HANDLE trapEvent = NULL;

    void SetUp() override
    {
        ResetFakeLibrary();
        g_fakeLibrary.controllerCount = 1;
        DllMain(NULL, DLL_PROCESS_ATTACH, NULL);
        AsnObjectIdentifier region = {};
        ASSERT_TRUE(SnmpExtensionInit(GetTickCount(), &trapEvent, &region));
    }

    void TearDown() override
    {
        g_allocationsFail = false;
        SnmpExtensionClose();
    }
};

TEST_F(TrapSeamTest, FailedAllocationEndsTheDrainAndPollingGoesOn)
{
    AddFakeEvent(0, 0x00030000, "lost one");
    AddFakeEvent(0, 0x00030001, "lost two");
    ASSERT_EQ(WaitForSingleObject(trapEvent, 5000), (DWORD)WAIT_OBJECT_0);
    g_allocationsFail = true;
    EXPECT_FALSE(CallTrap().returned);
    g_allocationsFail = false;
    // The rest of that reply was dropped with it.
    EXPECT_FALSE(CallTrap().returned);
    AddFakeEvent(0, 0x00030002, "next");
    ASSERT_EQ(WaitForSingleObject(trapEvent, 5000), (DWORD)WAIT_OBJECT_0);
    CollectedTrap trap = CallTrap();
    EXPECT_TRUE(trap.returned);
    EXPECT_EQ(trap.specificTrap, 29);
    EXPECT_EQ(trap.text, "Controller #0: next");
    EXPECT_FALSE(CallTrap().returned);
}

// A drain signal from a call made while nothing was pending must not let
// the poller start a new cycle over events not yet collected.
TEST_F(TrapSeamTest, EarlierDrainSignalDoesNotCutANewDrainShort)
{
    EXPECT_FALSE(CallTrap().returned);
    AddFakeEvent(0, 0x00100000, "kept");
    ASSERT_EQ(WaitForSingleObject(trapEvent, 5000), (DWORD)WAIT_OBJECT_0);
    Sleep(2500);
    CollectedTrap trap = CallTrap();
    EXPECT_TRUE(trap.returned);
    EXPECT_EQ(trap.text, "Controller #0: kept");
    EXPECT_FALSE(CallTrap().returned);
}

}  // namespace
