#!/usr/bin/python3
"""Usage: make_ca.py FOLDER

Makes a certificate authority (ca.pem) and a server certificate for localhost and
127.0.0.1 it signed (issued.pem, issued-key.pem): what a server shows whose authority the
system does not know."""
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


def pem(item):
    return item.public_bytes(serialization.Encoding.PEM)


ca_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
ca = (x509.CertificateBuilder().subject_name(name("Ostrel Test CA"))
      .issuer_name(name("Ostrel Test CA")).public_key(ca_key.public_key()).serial_number(1)
      .not_valid_before(NOW - DAY).not_valid_after(NOW + 2 * DAY)
      .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
      .sign(ca_key, hashes.SHA256()))
write("ca.pem", pem(ca))

key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
names = [x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]
certificate = (x509.CertificateBuilder().subject_name(name("localhost")).issuer_name(ca.subject)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(NOW - DAY).not_valid_after(NOW + 2 * DAY)
               .add_extension(x509.SubjectAlternativeName(names), critical=False)
               .sign(ca_key, hashes.SHA256()))
write("issued.pem", pem(certificate))
write("issued-key.pem", key.private_bytes(serialization.Encoding.PEM,
                                          serialization.PrivateFormat.TraditionalOpenSSL,
                                          serialization.NoEncryption()))
