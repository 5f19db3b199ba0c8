#!/usr/bin/python3
"""Usage: make_ca.py FOLDER | make_ca.py FOLDER --self-signed HOST

An authority (ca.pem) with what it signed: issued.pem for localhost and 127.0.0.1,
other.pem for "otherhost"; and self.pem, self-signed. Each key is NAME-key.pem. With
--self-signed: only cert.pem and key.pem for HOST, and their fingerprint printed."""
import datetime
import ipaddress
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

FOLDER = sys.argv[1]
NOW = datetime.datetime.now(datetime.timezone.utc)
DAY = datetime.timedelta(days=1)


def name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def write(file_name, data):
    with open(f"{FOLDER}/{file_name}", "wb") as f:
        f.write(data)


def issue(names, common_name, file_name, self_signed=False, key_file=None):
    """Writes the certificate and its key; returns the certificate."""
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    certificate = (x509.CertificateBuilder().subject_name(name(common_name))
                   .issuer_name(name(common_name) if self_signed else ca.subject)
                   .public_key(key.public_key()).serial_number(x509.random_serial_number())
                   .not_valid_before(NOW - DAY).not_valid_after(NOW + 2 * DAY)
                   .add_extension(x509.SubjectAlternativeName(names), critical=False)
                   .sign(key if self_signed else ca_key, hashes.SHA256()))
    write(f"{file_name}.pem", certificate.public_bytes(serialization.Encoding.PEM))
    write(key_file or f"{file_name}-key.pem",
          key.private_bytes(serialization.Encoding.PEM,
                            serialization.PrivateFormat.TraditionalOpenSSL,
                            serialization.NoEncryption()))
    return certificate


LOCAL = [x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]
if sys.argv[2:3] == ["--self-signed"]:
    HOST = sys.argv[3]
    made = issue(LOCAL if HOST == "localhost" else [x509.DNSName(HOST)], HOST, "cert",
                 self_signed=True, key_file="key.pem")
    print("sha256 Fingerprint=" + made.fingerprint(hashes.SHA256()).hex(":").upper())
    sys.exit(0)

ca_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
ca = (x509.CertificateBuilder().subject_name(name("Ostrel Test CA"))
      .issuer_name(name("Ostrel Test CA")).public_key(ca_key.public_key()).serial_number(1)
      .not_valid_before(NOW - DAY).not_valid_after(NOW + 2 * DAY)
      .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
      .sign(ca_key, hashes.SHA256()))
write("ca.pem", ca.public_bytes(serialization.Encoding.PEM))
issue(LOCAL, "localhost", "issued")
issue([x509.DNSName("otherhost")], "otherhost", "other")
issue(LOCAL, "localhost", "self", self_signed=True)
