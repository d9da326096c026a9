// DllClient.cs: stamps a data file's CRC through Korvalelib and checks it again, showing
// progress, as examples/dll_client.c does. Build: mcs DllClient.cs Korvalelib.cs (or csc),
// then run beside Korvalelib.dll: DllClient FILE
using System;
using Korvale;

static class DllClient
{
    // A progress indicator that prints a dot for every tenth of the file.
    static int maximum, position, shown;

    static void Print(string label, CountedString text)
    {
        Console.Write(label + text + "\n");
    }

    static int Main(string[] arguments)
    {
        if (arguments.Length != 1)
        {
            Console.Error.WriteLine("usage: DllClient FILE");
            return 2;
        }
        CountedString name = CountedString.From(arguments[0]);
        CountedString text;
        if (Korvalelib.DUDO66413_setCRC32inFile(ref name, IntPtr.Zero) != 0)
        {
            Korvalelib.DUDO66413_getInfoErrorString(out text);
            Print("set failed: ", text);
            return 1;
        }
        Korvalelib.DUDO66413_getInfoCRC32(out text);
        Print("stamped ", text);

        var sink = new ProgressSink
        {
            SetMinimum = (context, value) => { },
            SetMaximum = (context, value) => maximum = value,
            GetPosition = context => position,
            SetPosition = (context, value) =>
            {
                position = value;
                while (maximum > 0 && shown < 10 && (long)value * 10 >= (long)maximum * (shown + 1))
                {
                    Console.Write(".");
                    shown++;
                }
            },
        };
        int code = Korvalelib.DUDO66413_checkCRC32inFile(ref name, ref sink);
        GC.KeepAlive(sink.SetPosition);
        Console.Write("\n");
        Korvalelib.DUDO66413_getInfoErrorString(out text);
        Print("check: ", text);
        return code == 0 ? 0 : 1;
    }
}
