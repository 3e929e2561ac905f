#include "console/usage.h"

#include <string>

namespace flashkit {

namespace {
constexpr std::string_view kSummary[] = {
    "Send, receive or capture over a COM port or the USB bulk device.\n",
    "  -s, -sy       send file1 with YMODEM, announced as file2 (default: file1)\n",
    "  -sx           send file1 with XMODEM, 128-byte blocks\n",
    "  -sk           send file1 with XMODEM, 1024-byte blocks allowed\n",
    "  -r, -ry       receive with YMODEM into file1, or under the name the sender gives\n",
    "  -rg           receive with YMODEM-G (streaming, no acknowledgements)\n",
    "  -rx           receive file1 with XMODEM, checksum\n",
    "  -rc           receive file1 with XMODEM, CRC-16\n",
    "  -p<number>    COM port number (default 1)\n",
    "  -p<path>      the serial port at <path>: -p/dev/ttyUSB0, -p/dev/serial/by-id/...\n",
    "  -b<number>    baud rate (default 115200)\n",
    "  -t<seconds>   how long to wait for the other side to start (default 30)\n",
    "  -u            use the USB bulk device instead of a COM port (sending only)\n",
    "  -lf<path>     after any send, capture the device's log output into <path>\n",
    "  -lt<seconds>  end the log capture after this much silence (default 10)\n",
    "  -lx<text>     end the log capture when <text> arrives (at most 128 characters)\n",
    "  -le           echo the captured log on the console\n",
    "  -h            show this summary\n",
    "A file argument without -s or -r is sent with YMODEM.\n",
    "Exit status: 0 success, 1 command-line error, otherwise the negative code of the\n",
    "failure (its low 8 bits).\n",
};
}  // namespace

void PrintUsage(TextOut& out, std::string_view program_name) {
  std::string text = "\nUsage: ";
  text.append(program_name);
  text.append(" [options] [file1 [file2]]\n");
  for (std::string_view line : kSummary) text.append(line);
  out.Print(text);
}

}  // namespace flashkit
