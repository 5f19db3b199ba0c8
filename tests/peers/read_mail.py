#!/usr/bin/python3
"""Usage: read_mail.py MAIL: prints as JSON what Python's email package makes of MAIL,
with the envelope smtp_server.py kept beside it."""
import email
import email.utils
import json
import os
import sys
from email import policy

PATH = sys.argv[1]
with open(PATH, "rb") as f:
    msg = email.message_from_bytes(f.read(), policy=policy.default)
text, attachments, defects = None, [], 0
for part in msg.walk():
    defects += len(part.defects)
    if part.is_multipart():
        continue
    if part.get_content_disposition() == "attachment":
        attachments.append({"filename": part.get_filename(), "type": part.get_content_type(),
                            "data": part.get_payload(decode=True).hex()})
    elif part.get_content_type() == "text/plain" and text is None:
        text = part.get_content().replace("\r\n", "\n")
envelope = os.path.splitext(PATH)[0] + ".json"
print(json.dumps({
    "subject": str(msg["subject"]), "from": str(msg["from"]), "to": str(msg["to"]),
    "sender": str(msg["sender"]), "text": text, "attachments": attachments, "defects": defects,
    "date": email.utils.parsedate_to_datetime(msg["date"]).isoformat() if msg["date"] else None,
    "envelope": json.load(open(envelope)) if os.path.exists(envelope) else None}))
