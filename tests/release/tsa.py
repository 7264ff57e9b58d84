#!/usr/bin/env python3
"""A throw-away RFC 3161 time-stamp server on 127.0.0.1 for the release test:
each POSTed time-stamp query is answered by `openssl ts -reply` with the
given TSA certificate and key.

    tsa.py WORKDIR TSA_CERT TSA_KEY PORT_FILE
Writes the port it listens on to PORT_FILE, then serves until killed.
"""
import http.server
import os
import subprocess
import sys

workdir, cert, key, port_file = sys.argv[1:5]
config = os.path.join(workdir, "tsa.cnf")
with open(config, "w") as f:
    f.write("""[ tsa ]
default_tsa = zw_tsa
[ zw_tsa ]
serial = %s
crypto_device = builtin
signer_cert = %s
signer_key = %s
signer_digest = sha256
default_policy = 1.3.6.1.4.1.55555.1
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
""" % (os.path.join(workdir, "tsa.serial"), cert, key))
with open(os.path.join(workdir, "tsa.serial"), "w") as f:
    f.write("01\n")


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        qfile = os.path.join(workdir, "query.tsq")
        rfile = os.path.join(workdir, "reply.tsr")
        with open(qfile, "wb") as f:
            f.write(query)
        run = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile", qfile,
                              "-out", rfile], capture_output=True)
        if run.returncode != 0:
            sys.stderr.write(run.stderr.decode(errors="replace"))
            self.send_error(500)
            return
        reply = open(rfile, "rb").read()
        with open(os.path.join(workdir, "requests.log"), "a") as log:
            log.write("%s %d bytes\n" % (self.headers.get("Content-Type"), len(query)))
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".part", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".part", port_file)
server.serve_forever()
