#!/usr/bin/env python3
"""A local RFC 3161 timestamp server, so that signing with a timestamp URL
can be tested without a network.

Each POSTed time-stamp query is answered by `openssl ts -reply` with the
given timestamping certificate and key. (osslsigncode 2.7 and later can make
such answers itself, but the 2.5 that Debian 12 installs cannot, and the
release script's timestamp path is a URL in any case.)

Usage: timestamp_server.py WORK_DIR TSA_CERT TSA_KEY PORT_FILE
Listens on 127.0.0.1 at a free port, writes the port to PORT_FILE once it
accepts connections, and serves until it is ended.
"""
import http.server
import os
import subprocess
import sys
import tempfile

work_dir, tsa_cert, tsa_key, port_file = sys.argv[1:5]

config = os.path.join(work_dir, "tsa.cnf")
serial = os.path.join(work_dir, "tsa_serial")
with open(serial, "w") as f:
    f.write("01\n")
with open(config, "w") as f:
    f.write(f"""[ tsa ]
default_tsa = tsa_config

[ tsa_config ]
serial = {serial}
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
""")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.TemporaryDirectory(dir=work_dir) as tmp:
            query_file = os.path.join(tmp, "query.tsq")
            reply_file = os.path.join(tmp, "reply.tsr")
            with open(query_file, "wb") as f:
                f.write(query)
            done = subprocess.run(
                ["openssl", "ts", "-reply", "-config", config,
                 "-queryfile", query_file, "-signer", tsa_cert,
                 "-inkey", tsa_key, "-out", reply_file],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
            if done.returncode != 0:
                sys.stderr.write(done.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, format, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".tmp", "w") as f:
    f.write(f"{server.server_address[1]}\n")
os.replace(port_file + ".tmp", port_file)
server.serve_forever()
