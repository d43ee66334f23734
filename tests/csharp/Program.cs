// Runs the C# declarations of docs/windows.md (compiled beside this file)
// against the library and the simulated reader: every kind of parameter they
// marshal (out and ref values, byte arrays read and written, strings in and
// out, a handle, a returned text) with the values checked.
//   mono csharp_test.exe POPULATION_FILE VERSION
using System;
using System.Collections.Generic;
using System.Text;

static class Program
{
    static int passed, failed;

    static void Check(bool ok, string what)
    {
        if (ok) { passed++; return; }
        failed++;
        Console.WriteLine("FAILED: " + what);
    }

    static string Hex(byte[] bytes, int offset, int count)
    {
        var text = new StringBuilder();
        for (int i = 0; i < count; i++) text.Append(bytes[offset + i].ToString("X2"));
        return text.ToString();
    }

    static byte[] Bytes(string hex)
    {
        var bytes = new byte[hex.Length / 2];
        for (int i = 0; i < bytes.Length; i++) bytes[i] = Convert.ToByte(hex.Substring(2 * i, 2), 16);
        return bytes;
    }

    // The EPCs of an EPC-ID list, record by record (TessaroRecords.h): N, E,
    // E bytes of EPC, the TID, RSSI, antenna.
    static List<string> DecodeEpcList(byte[] list, int length)
    {
        var epcs = new List<string>();
        for (int at = 0; at < length; at += list[at] + 1)
            epcs.Add(Hex(list, at + 2, list[at + 1]));
        return epcs;
    }

    static int Main(string[] args)
    {
        var error = new byte[256];
        IntPtr sim = TessaroSim.TessaroSimCreate(0);  // virtual clock: no real waits
        int reader = TessaroSim.TessaroSimAddReader(sim);
        int tags = TessaroSim.TessaroSimLoadPopulation(sim, reader, args[0], error, (UIntPtr)error.Length);
        Check(tags > 0, "population loaded: " + Encoding.ASCII.GetString(error).TrimEnd('\0'));
        Check(TessaroSim.TessaroSimLoadPopulation(sim, reader, args[0] + ".missing", error,
                                                  (UIntPtr)error.Length) == -1
              && Encoding.ASCII.GetString(error).Contains(".missing"),
              "a refused population names the file in its error text");
        Check(TessaroSim.TessaroSimInstall(sim) == 0, "simulator installed");

        var version = new byte[3];
        Check(Tessaro.GetSDKVersion(version) == 0
              && string.Format("{0}.{1}.{2}", version[0], version[1], version[2]) == args[1],
              "GetSDKVersion writes the library version");

        int port;
        Check(Tessaro.OpenUSBPort(out port) == 0 && port == 1, "OpenUSBPort hands out port 1");

        byte address = 0xFF, info2, info3, info4, info5, info6, scanTime, info8, info9, info10, info11;
        var versionInfo = new byte[2];
        int rc = Tessaro.GetReaderInformation(ref address, versionInfo, out info2, out info3,
            out info4, out info5, out info6, out scanTime, out info8, out info9, out info10,
            out info11, port);
        Check(rc == 0, "GetReaderInformation: " + Tessaro.ReturnCodeText(rc));
        Check(address == 0x00, "the reader's address written back through ref byte");
        Check(versionInfo[0] == 3 && versionInfo[1] == 2, "version bytes into byte[]");
        Check(info2 == 0x0F && info3 == 0x03 && info6 == 30 && scanTime == 10 && info8 == 0x0F,
              "reader type, protocols, power, scan time and antennas through out byte");

        var epcList = new byte[6000];  // EPC_LIST_MAX_BYTES
        var none = new byte[32];
        byte antenna;
        int totalLength, tagCount;
        int status = Tessaro.Inventory_G2(ref address, 4, 0, 0, none, 0, none, 0, 0, 0, 0, 0, 0, 0, 0,
            epcList, out antenna, out totalLength, out tagCount, port);
        Check(status == 1, "Inventory_G2 ends with status 1: " + Tessaro.ReturnCodeText(status));
        List<string> epcs = DecodeEpcList(epcList, totalLength);
        Check(tagCount > 0 && epcs.Count == tagCount, "as many records in the EPC list as tags counted");
        Check(epcs.Contains("3034257BF7194E40000003E9"), "the shelf's first tag among the EPCs");

        // The first shelf tag's EPC bank from word 2 on is its EPC.
        byte[] epc = Bytes("3034257BF7194E40000003E9");
        var password = new byte[4];
        var data = new byte[12];
        int errorCode;
        rc = Tessaro.ReadData_G2(ref address, epc, 6, 1, 2, 6, password, 0, none, 0, none, data,
                                 out errorCode, port);
        Check(rc == 0 && errorCode == -1, "ReadData_G2 of the EPC bank: " + Tessaro.ReturnCodeText(rc));
        Check(Hex(data, 0, 12) == "3034257BF7194E40000003E9", "the EPC read back into byte[]");

        byte[] written = Bytes("CAFEBEEF");
        rc = Tessaro.WriteData_G2(ref address, epc, 2, 6, 3, 4, written, password, 0, none, 0, none,
                                  out errorCode, port);
        Check(rc == 0 && errorCode == -1, "WriteData_G2 to the user bank: " + Tessaro.ReturnCodeText(rc));
        var user = new byte[4];
        rc = Tessaro.ReadData_G2(ref address, epc, 6, 3, 4, 2, password, 0, none, 0, none, user,
                                 out errorCode, port);
        Check(rc == 0 && Hex(user, 0, 4) == "CAFEBEEF", "the words written read back");

        // A tag that is not there: the reader's status and its text.
        rc = Tessaro.ReadData_G2(ref address, Bytes("000000000000000000000000"), 6, 1, 2, 6, password,
                                 0, none, 0, none, data, out errorCode, port);
        Check(rc == 0xFB && Tessaro.ReturnCodeText(rc).Contains("tag"),
              "no tag: status 0xFB with its text, got " + rc + ": " + Tessaro.ReturnCodeText(rc));
        Check(Tessaro.ReturnCodeText(48).StartsWith("ERR_COMM:"), "the text of ERR_COMM");

        Check(Tessaro.CloseUSBPort(port) == 0, "CloseUSBPort");
        Check(Tessaro.CloseUSBPort(port) == 48, "a closed port cannot be closed again (ERR_COMM)");
        TessaroSim.TessaroSimDestroy(sim);

        Console.WriteLine("{0} passed, {1} failed", passed, failed);
        return failed == 0 ? 0 : 1;
    }
}
