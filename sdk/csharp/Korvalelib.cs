// Korvalelib.cs: Korvalelib's functions for C# and the other .NET languages (P/Invoke).
//
// Every function uses the stdcall convention on Windows (ignored on x64 and on Linux, where
// mono or .NET load libKorvalelib.so under the same name). Texts cross the interface as a
// counted string: a length byte and 255 bytes, in the system's ANSI code page on Windows and
// UTF-8 on Linux; CountedString.From and ToString convert. Results of the file operations are
// the codes of korvalelib.h (0 OK, 1 and 2 a stamp that is empty or differs, 11 to 13 no
// usable field, 21 cannot open, 22 too short).
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Korvale
{
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct CountedString
    {
        public byte Length;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 255)]
        public byte[] Text;

        // The encoding the library reads names in. On .NET (not the Framework) call
        // Encoding.RegisterProvider(CodePagesEncodingProvider.Instance) once before using it.
        public static Encoding NameEncoding
        {
            get
            {
                return Environment.OSVersion.Platform == PlatformID.Win32NT
                    ? Encoding.GetEncoding((int)NativeMethods.GetACP())
                    : new UTF8Encoding(false);
            }
        }

        // A name that does not fit (more than 255 bytes) or has characters the code page lacks
        // would name another file: refused rather than cut or replaced.
        public static CountedString From(string text)
        {
            Encoding encoding = (Encoding)NameEncoding.Clone();
            encoding.EncoderFallback = EncoderFallback.ExceptionFallback;
            byte[] bytes = encoding.GetBytes(text);
            if (bytes.Length > 255)
                throw new ArgumentException("longer than 255 bytes: " + text);
            var result = new CountedString { Length = (byte)bytes.Length, Text = new byte[255] };
            Array.Copy(bytes, result.Text, bytes.Length);
            return result;
        }

        public override string ToString()
        {
            return Text == null ? "" : NameEncoding.GetString(Text, 0, Length);
        }
    }

    [UnmanagedFunctionPointer(CallingConvention.StdCall)]
    public delegate void SetProgressValue(IntPtr context, int value);

    [UnmanagedFunctionPointer(CallingConvention.StdCall)]
    public delegate int GetProgressValue(IntPtr context);

    // A progress indicator; any callback may be null. Keep the delegates alive (in a field)
    // until the call returns.
    [StructLayout(LayoutKind.Sequential)]
    public struct ProgressSink
    {
        public IntPtr Context;
        public SetProgressValue SetMinimum;
        public SetProgressValue SetMaximum;
        public GetProgressValue GetPosition;
        public SetProgressValue SetPosition;
    }

    public static class Korvalelib
    {
        const string Library = "Korvalelib";
        const CallingConvention Convention = CallingConvention.StdCall;

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int DUDO66413_checkCRC32inFile(ref CountedString fileName, IntPtr sink);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int DUDO66413_checkCRC32inFile(ref CountedString fileName,
                                                            ref ProgressSink sink);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int DUDO66413_setCRC32inFile(ref CountedString fileName, IntPtr sink);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int DUDO66413_setCRC32inFile(ref CountedString fileName,
                                                          ref ProgressSink sink);
        // The sink is accepted and never called.
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int DUDO66413_resetCRC32inFile(ref CountedString fileName, IntPtr sink);

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern int DUDO66413_getInfoErrorCode();
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_getInfoErrorString(out CountedString result);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_getInfoCRC32(out CountedString result);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_getInfoCommandFile(out CountedString result);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_getInfoHeader(out CountedString result);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_reset();

        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_getFailSafeCRC32(out CountedString result);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_getVersion(out CountedString result);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_getFullName(out CountedString result);
        [DllImport(Library, CallingConvention = Convention, ExactSpelling = true)]
        public static extern void DUDO66413_getShortName(out CountedString result);
    }

    static class NativeMethods
    {
        [DllImport("kernel32")]
        public static extern uint GetACP();
    }
}
