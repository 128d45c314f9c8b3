"""Run by the system's Python, where Aravis's GObject bindings live: takes
a camera's multi-part stream through Aravis's own controller and receiver
and prints, per buffer, one JSON line: its status, frame id, payload type
and each part's data type, pixel format, size and bytes (as hex).

    python3 aravis_multipart.py <address> <buffers>
"""
import json
import sys

import gi

gi.require_version("Aravis", "0.8")
from gi.repository import Aravis  # noqa: E402

camera = Aravis.Camera.new(sys.argv[1])
print(json.dumps({"supported": camera.gv_is_multipart_supported()}), flush=True)
camera.gv_set_multipart(True)
stream = camera.create_stream(None, None)
for _ in range(8):
    stream.push_buffer(Aravis.Buffer.new_allocate(camera.get_payload()))
camera.start_acquisition()
for _ in range(int(sys.argv[2])):
    buffer = stream.timeout_pop_buffer(10_000_000)
    if buffer is None:
        print(json.dumps({"timeout": True}), flush=True)
        break
    parts = [{"type": int(buffer.get_part_data_type(k)), "format": buffer.get_part_pixel_format(k),
              "width": buffer.get_part_width(k), "height": buffer.get_part_height(k),
              "data": bytes(buffer.get_part_data(k)).hex()} for k in range(buffer.get_n_parts())]
    print(json.dumps({"status": int(buffer.get_status()), "frame": buffer.get_frame_id(),
                      "payload": int(buffer.get_payload_type()), "parts": parts}), flush=True)
    stream.push_buffer(buffer)
camera.stop_acquisition()
