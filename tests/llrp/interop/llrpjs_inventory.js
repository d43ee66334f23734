// An LLRP client this project did not write (llrpjs, from the npm registry)
// against `tessaro llrp`: it connects, checks the reader's greeting, resets
// the configuration, adds, enables and starts a ROSpec, and prints every EPC
// its reports carry, one per line, until EXPECTED distinct EPCs came or the
// time is up. Then it closes the connection as a client should.
//
// llrpjs 1.0.1's transact() waits forever when another message comes before
// the response it wants (it awaits the same promise again), so no transact()
// is made while reports stream: the stop and the close are sent, and the end
// of the connection that follows CLOSE_CONNECTION_RESPONSE is awaited. It
// also takes one message from each chunk the socket delivers, so a burst of
// reports (N = 1) trickles in one per round of the reader: here the AISpec
// reads for 2 s and its tags come in one report at its end, and keepalives
// every 100 ms (answered) keep chunks coming so that what waits is read.
//
//   node llrpjs_inventory.js PORT EXPECTED
const { LLRPClient, LLRPCore } = require("llrpjs");

const port = Number(process.argv[2]);
const expected = Number(process.argv[3]);
const reader = new LLRPClient({ host: "127.0.0.1", port });
const seen = new Set();
let done;
const allSeen = new Promise(resolve => { done = resolve; });

reader.on("RO_ACCESS_REPORT", msg => {
    let list = msg.getTagReportData();
    if (!Array.isArray(list)) list = [list];
    for (const data of list) {
        const epc = String(data.getEPCParameter().getEPC()).toUpperCase();
        if (!seen.has(epc)) {
            seen.add(epc);
            console.log(epc);
        }
    }
    if (seen.size >= expected) done();
});
reader.on("error", err => console.error("llrpjs error:", err.message || err));
reader.on("KEEPALIVE", () => reader.send(new LLRPCore.KEEPALIVE_ACK()));

const check = (rsp, what) => {
    const status = rsp.getLLRPStatus();
    if (status.getStatusCode() !== "M_Success")
        throw new Error(`${what}: ${status.getStatusCode()} ${status.getErrorDescription()}`);
};

(async () => {
    const timeout = setTimeout(() => { console.error(`timed out with ${seen.size} of ${expected} EPCs`); process.exit(1); }, 20000);
    await reader.connect();
    const hello = await reader.recv(5000);
    const attempt = hello.getReaderEventNotificationData().getConnectionAttemptEvent();
    if (!attempt || attempt.getStatus() !== "Success") throw new Error("no ConnectionAttemptEvent Success");
    check(await reader.transact(new LLRPCore.GET_READER_CAPABILITIES({ data: { RequestedData: "All" } })), "capabilities");
    check(await reader.transact(new LLRPCore.DELETE_ROSPEC({ data: { ROSpecID: 0 } })), "DELETE_ROSPEC");
    check(await reader.transact(new LLRPCore.SET_READER_CONFIG({ data: { ResetToFactoryDefault: true } })), "SET_READER_CONFIG");
    check(await reader.transact(new LLRPCore.ADD_ROSPEC({
        data: {
            ROSpec: {
                ROSpecID: 123, Priority: 0, CurrentState: "Disabled",
                ROBoundarySpec: {
                    ROSpecStartTrigger: { ROSpecStartTriggerType: "Null" },
                    ROSpecStopTrigger: { ROSpecStopTriggerType: "Null", DurationTriggerValue: 0 },
                },
                AISpec: {
                    AntennaIDs: [1, 2, 3, 4],
                    AISpecStopTrigger: { AISpecStopTriggerType: "Duration", DurationTrigger: 2000 },
                    InventoryParameterSpec: { InventoryParameterSpecID: 1234, ProtocolID: "EPCGlobalClass1Gen2" },
                },
                ROReportSpec: {
                    ROReportTrigger: "Upon_N_Tags_Or_End_Of_AISpec", N: 0,
                    TagReportContentSelector: {
                        EnableROSpecID: false, EnableSpecIndex: false, EnableInventoryParameterSpecID: false,
                        EnableAntennaID: true, EnableChannelIndex: false, EnablePeakRSSI: true,
                        EnableFirstSeenTimestamp: true, EnableLastSeenTimestamp: true, EnableTagSeenCount: true,
                        EnableAccessSpecID: false,
                    },
                },
            },
        },
    })), "ADD_ROSPEC");
    check(await reader.transact(new LLRPCore.ENABLE_ROSPEC({ data: { ROSpecID: 123 } })), "ENABLE_ROSPEC");
    // From here on messages come unasked: no more transact().
    reader.on("START_ROSPEC_RESPONSE", rsp => check(rsp, "START_ROSPEC"));
    await reader.send(new LLRPCore.SET_READER_CONFIG({
        data: { ResetToFactoryDefault: false, KeepaliveSpec: { KeepaliveTriggerType: "Periodic", PeriodicTriggerValue: 100 } },
    }));
    await reader.send(new LLRPCore.START_ROSPEC({ data: { ROSpecID: 123 } }));
    await allSeen;
    const gone = new Promise(resolve => reader.on("disconnect", resolve));
    let closed = false;
    reader.on("CLOSE_CONNECTION_RESPONSE", rsp => { check(rsp, "CLOSE_CONNECTION"); closed = true; });
    await reader.send(new LLRPCore.STOP_ROSPEC({ data: { ROSpecID: 123 } }));
    await reader.send(new LLRPCore.CLOSE_CONNECTION());
    await gone;
    clearTimeout(timeout);
    if (!closed) console.error("the connection ended before CLOSE_CONNECTION_RESPONSE was read");
    process.exit(0);
})().catch(err => { console.error(err.message || err); process.exit(1); });
