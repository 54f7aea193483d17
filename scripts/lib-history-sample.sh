#!/usr/bin/env bash
# Prints a few records of a bench's day, as the history keeps them, for the screenshots: writes
# on two radios, a version read, a write that lost the radio at byte 61,312 and one refused.
set -euo pipefail
day=$(date -u -d yesterday +%Y-%m-%d)
record() {  # time port request image size sha256 dsps outcome message cause ok confirmed ms [dsp1 dsp2]
  local update=$([ "$3" = update ] && echo 1 || echo 0)
  q() { [ "$update" = 1 ] && printf '"%s"' "$1" || printf null; }
  n() { [ "$update" = 1 ] && printf '%s' "$1" || printf null; }
  v() { [ "$update" = 0 ] && printf '"%s"' "$1" || printf null; }
  printf '{"time":"%sT%s.000Z","program":"vannor","version":"1.0.0.1","host":"bench-3","user":"tech","port":"%s","device":"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0","adapter":"FTDI FT232R USB UART A10K3XYZ","request":"%s","image":%s,"size":%s,"sha256":%s,"mask":%s,"dsps":%s,"outcome":"%s","message":"%s","cause":"%s","ok":%s,"confirmed":%s,"ms":%s,"dsp1":%s,"dsp2":%s}\n' \
    "$day" "$1" "$2" "$3" "$(q "$4")" "$(n "$5")" "$(q "$6")" "$(n 15)" "$(q "$7")" "$8" "$9" \
    "${10}" "${11}" "$(n "${12}")" "${13}" "$(v "${14:-}")" "$(v "${15:-}")"
}
sha=3b5d3c7d207e37dceeedd301e35e2e58c6f5c4a1c5f1a9e3e1b0f8a0a9c2d4e1
record 08:02:11 COM3 version "" 0 "" "" versions-read "" "" true 0 180 V01.02 V02.00
record 08:04:40 COM3 update /home/tech/images/tavix-dsp-v1.03.out 180224 $sha "DSP1+Tavix3, DSP2+Tavix3" completed " Completion !!! " "" true 180224 94210
record 09:15:02 COM4 update /home/tech/images/tavix-dsp-v1.03.out 180224 $sha "DSP1+Tavix3, DSP2+Tavix3" communication-error " Communication Error !!! " "no echo within 5 s after byte 61312" false 61312 37990
record 09:21:37 COM4 update /home/tech/images/tavix-dsp-v1.03.out 180224 $sha "DSP1+Tavix3, DSP2+Tavix3" completed " Completion !!! " "" true 180224 94187
record 10:02:55 COM5 update /home/tech/images/tavix-dsp-v1.03.zip 0 "" "DSP1+Tavix3, DSP2+Tavix3" image-refused " File Error !!! " "" false 0 12
