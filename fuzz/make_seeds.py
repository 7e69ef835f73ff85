#!/usr/bin/python3
"""Writes the small seed inputs of fuzz/corpus/: archives made by zip, 7z and python's zipfile,
split sets cut from one of them, and a few settings files, FTP replies and version pages.
Run from anywhere; the seeds are committed, so this is only needed to make them again."""
import io
import os
import shutil
import struct
import subprocess
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")
PASSWORD = "fuzz"  # the password the fuzz roads answer with (prompt_answers.h)


def put(road, name, data):
    os.makedirs(os.path.join(CORPUS, road), exist_ok=True)
    with open(os.path.join(CORPUS, road, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def tree(root):
    os.makedirs(os.path.join(root, "dossier", "vide"))
    with open(os.path.join(root, "dossier", "texte.txt"), "w") as f:
        f.write("une ligne de texte\n" * 20)
    open(os.path.join(root, "vide.txt"), "w").close()
    with open(os.path.join(root, "octets.bin"), "wb") as f:
        f.write(bytes(range(256)))


def tool(folder, *command, out):
    subprocess.run(command, cwd=folder, check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(folder, out), "rb") as f:
        return f.read()


def python_zip(entries, **options):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", **options) as z:
        for name, data, kwargs in entries:
            with z.open(zipfile.ZipInfo(name), "w", **kwargs) as f:
                f.write(data)
    return buf.getvalue()


def split_set(archive, cuts, info_zip):
    """The archive as a split set: the spanning marker in front, every header's disk and offset
    counted by volume, cut at the given offsets (which must lie before the directory)."""
    eocd = archive.rfind(b"PK\x05\x06")
    (count, cd_size, cd_offset) = struct.unpack_from("<HII", archive, eocd + 10)
    body = b"PK\x07\x08" + archive[:cd_offset]
    starts = [0] + list(cuts)

    def where(offset):
        disk = max(i for i, s in enumerate(starts) if s <= offset)
        return disk, offset - starts[disk]

    cd = bytearray(archive[cd_offset:cd_offset + cd_size])
    pos = 0
    for _ in range(count):
        disk, rel = where(struct.unpack_from("<I", cd, pos + 42)[0] + 4)
        struct.pack_into("<H", cd, pos + 34, disk)
        struct.pack_into("<I", cd, pos + 42, rel)
        pos += 46 + sum(struct.unpack_from("<HHH", cd, pos + 28))
    last = len(starts) - 1
    cd_disk, cd_rel = where(len(body))
    end = bytearray(archive[eocd:])
    struct.pack_into("<HHHHII", end, 4, last, cd_disk, count, count, cd_size, cd_rel)
    whole = body + bytes(cd) + bytes(end)
    flags = (1 if len(cuts) == 2 else 0) | (2 if info_zip else 0)
    head = struct.pack("<BHH", flags, cuts[0], cuts[-1])
    return head + whole


def larger_seeds(work):
    """Seeds of a few kilobytes, so that the archive roads start beyond the smallest shapes: a Zip64
    archive, a data-descriptor archive and a split set of three volumes."""
    src = os.path.join(work, "big")
    os.makedirs(os.path.join(src, "sous"))
    x = 7
    for i in range(6):
        # Letters of a small generator: text that deflate shrinks only by half.
        letters = []
        for _ in range(700):
            x = (x * 1103515245 + 12345) % 2**31
            letters.append("abcdefghij klmnop\n"[x >> 16 & 15])
        with open(os.path.join(src, "sous", "t%d.txt" % i), "w") as f:
            f.write("".join(letters))
    with open(os.path.join(src, "octets.bin"), "wb") as f:
        f.write(bytes((i * 37 + 11) % 256 for i in range(1500)))
    put("zip", "infozip-zip64.zip", tool(src, "zip", "-q", "-r", "-X", "-fz", "../z64.zip", ".", out="../z64.zip"))
    subprocess.run("zip -q -r -X - . | cat > ../dd.zip", shell=True, cwd=src, check=True)
    with open(os.path.join(work, "dd.zip"), "rb") as f:
        put("zip", "infozip-descriptors.zip", f.read())
    names = ["un.bin", "deux.bin", "trois.bin"]
    plain = python_zip([(n, bytes((i * 13 + k) % 251 for i in range(1800)), {}) for k, n in enumerate(names)],
                       compression=zipfile.ZIP_STORED)
    with zipfile.ZipFile(io.BytesIO(plain)) as z:
        starts = [i.header_offset + 30 + len(i.filename) for i in z.infolist()]
    # Cuts in the data of the second and third entries.
    put("zip_split", "three-volumes-large.bin", split_set(plain, [starts[1] + 900, starts[2] + 900], False))


def stored_inner_seed(work):
    """A directory-less archive holding a stored inner archive whose entries are named like the
    outer ones: the rebuild must walk past the inner headers, whatever the damage around them."""
    src = os.path.join(work, "nested")
    os.makedirs(os.path.join(src, "sous"))
    with open(os.path.join(src, "config.txt"), "w") as f:
        f.write("inner config\n")
    tool(src, "zip", "-q", "-X", "inner.zip", "config.txt", out="inner.zip")
    with open(os.path.join(src, "config.txt"), "w") as f:
        f.write("outer config\n")
    with open(os.path.join(src, "sous", "été.txt"), "w") as f:
        f.write("accents " * 30)
    whole = tool(src, "zip", "-q", "-X", "outer.zip", "config.txt", "inner.zip", "sous/été.txt", out="outer.zip")
    eocd = whole.rfind(b"PK\x05\x06")
    put("zip", "infozip-stored-inner-nocd.zip", whole[:struct.unpack_from("<I", whole, eocd + 16)[0]])


def main():
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    with tempfile.TemporaryDirectory() as work:
        src = os.path.join(work, "src")
        tree(src)
        put("zip", "infozip.zip", tool(src, "zip", "-q", "-r", "-X", "../a.zip", ".", out="../a.zip"))
        put("zip", "infozip-crypt.zip",
            tool(src, "zip", "-q", "-X", "-P", PASSWORD, "../c.zip", "dossier/texte.txt", out="../c.zip"))
        put("zip", "7z-aes.zip", tool(src, "7z", "a", "-tzip", "-mem=AES256", "-p" + PASSWORD, "../s.zip",
                                      "dossier/texte.txt", out="../s.zip"))
        put("zip", "7z-deflate.zip", tool(src, "7z", "a", "-tzip", "../d.zip", "vide.txt", "octets.bin",
                                          out="../d.zip"))
        with open(os.path.join(work, "in.txt"), "wb") as f:
            f.write(b"flux sans taille connue\n" * 4)
        subprocess.run("zip -q -X - in.txt > streamed.zip", shell=True, cwd=work, check=True)
        with open(os.path.join(work, "streamed.zip"), "rb") as f:
            put("zip", "infozip-descriptor.zip", f.read())
        sound = python_zip([("sous/", b"", {}), ("sous/été.txt", b"accents\n", {}),
                            ("zip64.txt", b"grand" * 10, {"force_zip64": True})],
                           compression=zipfile.ZIP_DEFLATED)
        put("zip", "python-utf8-zip64.zip", sound)
        put("zip", "stub-comment.zip", b"#!/bin/sh\nexit 0\n" + python_zip([("a.txt", b"a" * 30, {})]))
        plain = python_zip([("un.txt", b"premier volume " * 8, {}), ("deux.txt", b"second " * 6, {}),
                            ("trois/", b"", {})], compression=zipfile.ZIP_STORED)
        # Cuts inside entry data, never inside a header.
        put("zip_split", "two-volumes.bin", split_set(plain, [60], True))
        put("zip_split", "three-volumes.bin", split_set(plain, [60, 230], False))
        larger_seeds(work)
        stored_inner_seed(work)
    put("ini_file", "serie.ini",
        "[Serveur]\r\nHote=ftp.exemple.fr\r\nPort=21\r\nPassif=1\r\n\r\n[Dossiers]\r\nL0=/home/moi\r\nItemIndex=0x1\r\n")
    put("ini_file", "loose.ini", "; note\nsans section=1\n[ Tri ]\n  Cle = valeur \n[tri]\ncle=autre\n[]\n=x\nHEURE=-12\n")
    put("ftp_reply", "session.txt",
        "220-Bienvenue\r\n220 Pret\r\n331 Mot de passe\r\n230 OK\r\n"
        "227 Entering Passive Mode (127,0,0,1,4,1)\r\n229 Extended (|||4097|)\r\n213 1234\r\n150 Ouvert\r\n")
    put("ftp_reply", "bad.txt", "12 trop court\r\n")
    put("version_page", "page.txt", "01/12/2026\r\nNouvelle version\r\n")
    put("version_page", "zero.txt", "0\n")


if __name__ == "__main__":
    main()
