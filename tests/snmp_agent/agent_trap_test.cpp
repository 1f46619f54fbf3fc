// Traps from the real KalvSnmp.dll: the test acts as the SNMP service,
// waits on the trap event and calls SnmpExtensionTrap until it returns
// FALSE, freeing what the service frees.
#include <gtest/gtest.h>

#include "agent_dll.h"

#include <tlhelp32.h>

namespace {

struct Trap {
    Oid enterprise;
    AsnInteger32 genericTrap;
    AsnInteger32 specificTrap;
    AsnTimeticks timeStamp;
    DWORD ticksBefore, ticksAfter;
    std::vector<BindingAnswer> bindings;
};

std::string EventJson(DWORD code, const std::string& description, int dueMs = 0)
{
    return "{ \"code\": " + std::to_string(code) + ", \"description\": \"" + description +
           "\", \"dueMs\": " + std::to_string(dueMs) + " }";
}

std::string ControllerJson(const std::vector<std::string>& events, const std::string& more = "")
{
    std::string list;
    for (const std::string& event : events)
        list += (list.empty() ? "" : ", ") + event;
    return "{ \"deviceId\": \"0x3320\"" + more + ", \"events\": [ " + list + " ] }";
}

std::string ScenarioJson(const std::vector<std::string>& controllers, const std::string& driverVersion = "1, 0, 0, 0")
{
    std::string list;
    for (const std::string& controller : controllers)
        list += (list.empty() ? "" : ", ") + controller;
    return "{ \"driverVersion\": [" + driverVersion + "], \"controllers\": [ " + list + " ] }";
}

int ThreadsOfThisProcess()
{
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            count++;
    CloseHandle(snapshot);
    return count;
}

class AgentTrapTest : public AgentDllTest {
protected:
    HANDLE trapEvent = NULL;
    DWORD uptimeReference = 0;

    void Start(const std::string& scenario)
    {
        Load(scenario);
        AsnObjectIdentifier region = {};
        uptimeReference = GetTickCount() - 5000;
        ASSERT_TRUE(Init(&trapEvent, &region, uptimeReference));
    }

    // One drain: waits for the trap event, then collects until FALSE.
    std::vector<Trap> CollectTraps(DWORD timeoutMs = 5000)
    {
        std::vector<Trap> traps;
        if (WaitForSingleObject(trapEvent, timeoutMs) != WAIT_OBJECT_0)
            return traps;
        for (;;) {
            Trap collected;
            AsnObjectIdentifier enterprise = {};
            SnmpVarBindList bindings = {};
            collected.ticksBefore = GetTickCount();
            BOOL more = trap(&enterprise, &collected.genericTrap, &collected.specificTrap, &collected.timeStamp,
                             &bindings);
            collected.ticksAfter = GetTickCount();
            if (!more)
                return traps;
            collected.enterprise.assign(enterprise.ids, enterprise.ids + enterprise.idLength);
            for (UINT k = 0; k < bindings.len; k++) {
                const SnmpVarBind& binding = bindings.list[k];
                BindingAnswer answer = {Oid(binding.name.ids, binding.name.ids + binding.name.idLength),
                                        binding.value.asnType, 0, ""};
                if (answer.type == ASN_OCTETSTRING) {
                    answer.text.assign((const char*)binding.value.asnValue.string.stream,
                                       binding.value.asnValue.string.length);
                    EXPECT_EQ(binding.value.asnValue.string.stream[answer.text.size()], 0) << "NUL kept";
                    EXPECT_TRUE(binding.value.asnValue.string.dynamic);
                } else {
                    answer.number = binding.value.asnValue.number;
                }
                collected.bindings.push_back(answer);
            }
            SnmpUtilVarBindListFree(&bindings);
            traps.push_back(collected);
            if (traps.size() > 100)
                return traps;
        }
    }

    std::string DriverVersion()
    {
        return Text(Mib({1, 1, 1, 4, 0}));
    }
};

const Oid kEnterprise = Mib({1, 1, 1, 13});

TEST_F(AgentTrapTest, ThreeEventsGiveThreeTrapsInOrder)
{
    Start(ScenarioJson({ControllerJson({EventJson(0x00030000, "first"), EventJson(0x00080007, "second"),
                                        EventJson(0x00030005, "third")})}));
    std::vector<Trap> traps = CollectTraps();
    ASSERT_EQ(traps.size(), 3u);
    const AsnInteger32 specific[] = {27, 45, 83};
    const char* texts[] = {"Controller #0: first", "Controller #0: second", "Controller #0: third"};
    for (size_t k = 0; k < 3; k++) {
        const Trap& t = traps[k];
        EXPECT_EQ(t.enterprise, kEnterprise);
        EXPECT_EQ(t.genericTrap, 6);
        EXPECT_EQ(t.specificTrap, specific[k]);
        EXPECT_GE(t.timeStamp, (t.ticksBefore - uptimeReference) / 10);
        EXPECT_LE(t.timeStamp, (t.ticksAfter - uptimeReference) / 10);
        EXPECT_GE(t.timeStamp, 500u);
        ASSERT_EQ(t.bindings.size(), 3u);
        for (UINT b = 0; b < 3; b++)
            EXPECT_EQ(t.bindings[b].name, Mib({1, 1, 1, 13, b + 1}));
        EXPECT_EQ(t.bindings[0].type, ASN_INTEGER);
        EXPECT_EQ(t.bindings[0].number, specific[k]);
        EXPECT_EQ(t.bindings[1].type, ASN_OCTETSTRING);
        EXPECT_EQ(t.bindings[1].text, texts[k]);
        EXPECT_EQ(t.bindings[2].type, ASN_INTEGER);
        EXPECT_EQ(t.bindings[2].number, specific[k]);
    }
    // Nothing more until new events arrive.
    EXPECT_TRUE(CollectTraps(2500).empty());
}

TEST_F(AgentTrapTest, ControllersAreAskedInTurn)
{
    const std::string longDescription(324, 'D');
    Start(ScenarioJson({ControllerJson({EventJson(0x00100000, "zero")}),
                        ControllerJson({EventJson(0x00100000, longDescription)})}));
    std::vector<Trap> first = CollectTraps();
    std::vector<Trap> second = CollectTraps();
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(first[0].bindings[1].text, "Controller #0: zero");
    // A description that fills its record ends at the record's end.
    EXPECT_EQ(second[0].bindings[1].text, "Controller #1: " + longDescription);
    EXPECT_EQ(second[0].specificTrap, 4);
}

// The controllers of the event requests, in order.
std::vector<std::string> AskedControllers(const std::vector<std::string>& calls)
{
    std::vector<std::string> asked;
    for (const std::string& call : calls)
        if (call.rfind("i2_getHBAEvents ", 0) == 0)
            asked.push_back(call.substr(16, call.find(' ', 16) - 16));
    return asked;
}

TEST_F(AgentTrapTest, EachCycleAsksTheNextController)
{
    const struct { std::string scenario; std::vector<std::string> asked; } cases[] = {
        {ScenarioJson({ControllerJson({}), ControllerJson({})}), {"0", "1", "0"}},
        {ScenarioJson({}), {"0", "0", "0"}},
    };
    for (const auto& c : cases) {
        Start(c.scenario);
        // A request the library refuses (no controller 0) raises no trap.
        EXPECT_EQ(WaitForSingleObject(trapEvent, 3600), (DWORD)WAIT_TIMEOUT);
        std::vector<std::string> asked = AskedControllers(LibraryCalls(false));
        ASSERT_GE(asked.size(), 3u);
        asked.resize(3);
        EXPECT_EQ(asked, c.asked);
        Unload();
    }
}

TEST_F(AgentTrapTest, ControllerCountFallingBelowTheCursorStartsOver)
{
    Start(ScenarioJson({ControllerJson({}), ControllerJson({EventJson(0x00100000, "X")})}));
    ASSERT_TRUE(WaitForSingleObject(trapEvent, 5000) == WAIT_OBJECT_0);
    // The next refresh finds one controller only.
    WriteScenario(ScenarioJson({ControllerJson({EventJson(0x00100000, "Y")})}));
    SetEvent(trapEvent);
    std::vector<Trap> traps = CollectTraps();
    ASSERT_EQ(traps.size(), 1u);
    EXPECT_EQ(traps[0].bindings[1].text, "Controller #1: X");
    traps = CollectTraps();
    ASSERT_EQ(traps.size(), 1u);
    EXPECT_EQ(traps[0].bindings[1].text, "Controller #0: Y");
    WriteScenario(ScenarioJson({ControllerJson({EventJson(0x00100000, "Y"), EventJson(0x00100000, "Z")})}));
    traps = CollectTraps();
    ASSERT_EQ(traps.size(), 1u);
    EXPECT_EQ(traps[0].bindings[1].text, "Controller #0: Z");
}

TEST_F(AgentTrapTest, EventCodesMapToSpecificTraps)
{
    const std::pair<DWORD, AsnInteger32> cases[] = {
        {0x00030000, 27}, {0x00080007, 45}, {0x00080000, 45}, {0x0008000F, 51}, {0x0008000E, 51},
        {0x00030005, 83}, {0x00000007, 70}, {0x001C000A, 94}, {0x00190006, 109}, {0x000D000B, 1},
        {0x000D0018, 86}, {0xFFFF0000, 83}, {0x00000000, 83},
    };
    std::vector<std::string> events;
    for (const auto& c : cases)
        events.push_back(EventJson(c.first, "code"));
    Start(ScenarioJson({ControllerJson(events)}));
    // At most ten events per request: two drains.
    std::vector<Trap> traps = CollectTraps();
    EXPECT_EQ(traps.size(), 10u);
    std::vector<Trap> rest = CollectTraps();
    traps.insert(traps.end(), rest.begin(), rest.end());
    ASSERT_EQ(traps.size(), sizeof(cases) / sizeof(cases[0]));
    for (size_t k = 0; k < traps.size(); k++)
        EXPECT_EQ(traps[k].specificTrap, cases[k].second) << std::hex << cases[k].first;
}

TEST_F(AgentTrapTest, EventsRefreshTheInventoryBeforeTheirTraps)
{
    Start(ScenarioJson({ControllerJson({EventJson(0x00100000, "later", 3000)})}));
    EXPECT_EQ(DriverVersion(), "1.0.0.0");
    WriteScenario(ScenarioJson({ControllerJson({EventJson(0x00100000, "later", 3000)})}, "2, 0, 0, 0"));
    ASSERT_EQ(WaitForSingleObject(trapEvent, 8000), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(DriverVersion(), "2.0.0.0");
}

TEST_F(AgentTrapTest, FaultInsideTheLibraryIsSurvived)
{
    Start(ScenarioJson({ControllerJson({EventJson(0x00100000, "after faults")}, ", \"eventFaults\": 3")}));
    std::vector<Trap> traps = CollectTraps(10000);
    ASSERT_EQ(traps.size(), 1u);
    EXPECT_EQ(traps[0].bindings[1].text, "Controller #0: after faults");
    EXPECT_EQ(DriverVersion(), "1.0.0.0");
    DWORD before = GetTickCount();
    close();
    initialised = false;
    EXPECT_LT(GetTickCount() - before, 3000u);
}

TEST_F(AgentTrapTest, OverlongCountIsServedAsFortyRecords)
{
    Start(ScenarioJson({ControllerJson({EventJson(0x00030000, "a"), EventJson(0x00030001, "b")},
                                       ", \"reportedEventCount\": 100")}));
    std::vector<Trap> traps = CollectTraps();
    ASSERT_EQ(traps.size(), 40u);
    EXPECT_EQ(traps[0].bindings[1].text, "Controller #0: a");
    EXPECT_EQ(traps[1].bindings[1].text, "Controller #0: b");
    EXPECT_EQ(traps[39].bindings[1].text, "Controller #0: ");
    EXPECT_EQ(traps[39].specificTrap, 83);
}

TEST_F(AgentTrapTest, NegativeCountIsNoEvents)
{
    Start(ScenarioJson({ControllerJson({EventJson(0x00030000, "a")}, ", \"reportedEventCount\": -1")}));
    EXPECT_EQ(WaitForSingleObject(trapEvent, 3000), (DWORD)WAIT_TIMEOUT);
}

TEST_F(AgentTrapTest, CloseReleasesAPollerWaitingForAnUncollectedDrain)
{
    int threadsBefore = ThreadsOfThisProcess();
    Start(ScenarioJson({ControllerJson({EventJson(0x00030000, "never collected")})}));
    ASSERT_EQ(WaitForSingleObject(trapEvent, 5000), (DWORD)WAIT_OBJECT_0);
    DWORD before = GetTickCount();
    close();
    initialised = false;
    EXPECT_LT(GetTickCount() - before, 7000u);
    EXPECT_TRUE(WaitUntil([&] { return ThreadsOfThisProcess() <= threadsBefore; }, 2000));
    typedef int (*CountCall)(uint32_t*);
    uint32_t count = 0;
    // The library was finalised after the poller had ended.
    EXPECT_NE(Export<CountCall>(GetModuleHandleW(L"kalvbridge.dll"), "i2_getNumberOfHBA")(&count), 0);
}

// Runs the real 61 idle cycles, about a minute.
TEST_F(AgentTrapTest, IdleRefreshEverySixtyCycles)
{
    Start(ScenarioJson({ControllerJson({})}));
    DWORD started = GetTickCount();
    WriteScenario(ScenarioJson({ControllerJson({})}, "2, 0, 0, 0"));
    Sleep(50000);
    EXPECT_EQ(DriverVersion(), "1.0.0.0");
    EXPECT_TRUE(WaitUntil([&] { return DriverVersion() == "2.0.0.0"; }, 25000));
    DWORD refreshedAfter = GetTickCount() - started;
    EXPECT_GE(refreshedAfter, 60000u);
    EXPECT_LE(refreshedAfter, 72000u);
}

}  // namespace
