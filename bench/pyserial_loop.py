"""vannor-bench's comparison row: the simplest program a person would write for the same job.

Blocking pyserial calls on the same line and radio simulator as the tool: the write request's
opening (0x57 + mask, ACK, ENQ, ACK), then each image byte written and its echo read, with the
tool's 5 s answer limit. Prints the nanoseconds from opening the port to closing it, and the CPU
nanoseconds the process used meanwhile, so that the interpreter's start-up is not counted.

    python3 -I pyserial_loop.py DEVICE IMAGE_FILE

Exit status: 0 done, 1 the radio did not answer as expected, 3 pyserial is missing.
"""

import sys
import time

try:
    import serial
except ImportError:
    sys.exit(3)

ACK = b"\x06"
ENQ = b"\x05"
WRITE_DSP1 = b"\x57\x05"


def fail(what):
    print(f"pyserial_loop: {what}", file=sys.stderr)
    sys.exit(1)


def main():
    if len(sys.argv) != 3:
        fail("usage: pyserial_loop.py DEVICE IMAGE_FILE")
    with open(sys.argv[2], "rb") as image_file:
        image = image_file.read()
    start = time.perf_counter_ns()
    cpu_start = time.process_time_ns()
    port = serial.Serial(sys.argv[1], 38400, timeout=5)
    port.write(WRITE_DSP1)
    if port.read(1) != ACK:
        fail("no ACK for the write request")
    port.write(ENQ)
    if port.read(1) != ACK:
        fail("no ACK for ENQ")
    for i in range(len(image)):
        byte = image[i : i + 1]
        port.write(byte)
        if port.read(1) != byte:
            fail(f"no echo of image byte {i}")
    port.close()
    print(time.perf_counter_ns() - start, time.process_time_ns() - cpu_start)


main()
