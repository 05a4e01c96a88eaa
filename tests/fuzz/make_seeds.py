#!/usr/bin/env python3
"""Writes the small seed inputs of the fuzz targets into corpus/<target>/ beside this file.

Run once by hand after a format changes; the seeds are committed. The planet dump seed
(corpus/planet_dump/planet32.dump) is the 32-tile sphere the dump generator makes at one
subdivision; the topology seed is derived from it here."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def packet():
    put("packet", "clicks", b"\x10\x01leftclick down=1 tile=5\0leftclick down=0 tile=5 moved=0\nplayeraction name=chop\n")
    put("packet", "speech", b"\x03\x00playerspeak line=2 nr=1\0simspeed accelerated=1\0intro ended=1\0cheatkey x=1.5")


def keyval():
    text = b"\\Debug\\0\\VidVsync\\1\\VidSRGB\\1\\AudVolume\\0.8\\AudMusic\\0.7\\MusicFF\\1\\MouseTilt\\0\\SunCycle\\1"
    n = (len(text) + 7) // 8
    put("keyval", "settings", bytes([n]) + text.ljust(n * 8, b"\0") + b"\x02AudVolume\n0.25\n\x00Debug\nx\n\x05VidVsync\n\n")
    put("keyval", "damaged", b"\x04\\AudVolume\\7\\AudVolume\\0.5\\Debug")


def dds(width, height, mips, code, dxgi, data_bytes):
    head = bytearray(148 if code == b"DX10" else 128)
    head[0:4] = b"DDS "
    struct.pack_into("<IIIIII", head, 4, 124, 0, height, width, 0, 0)
    struct.pack_into("<I", head, 28, mips)
    struct.pack_into("<I", head, 76, 32)
    if code:
        struct.pack_into("<I", head, 80, 0x4)
        head[84:88] = code
    else:
        struct.pack_into("<IIIIIII", head, 80, 0x41, 0, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    if code == b"DX10":
        struct.pack_into("<IIII", head, 128, dxgi, 3, 0, 1)
    return bytes(head) + bytes((i * 37) & 255 for i in range(data_bytes))


def textures():
    put("dds", "rgba_2x2", dds(2, 2, 0, b"", 0, 16))
    put("dds", "dxt1_8x8_mips", dds(8, 8, 4, b"DXT1", 0, 32 + 8 + 8 + 8))
    put("dds", "dxt5_4x4", dds(4, 4, 1, b"DXT5", 0, 16))
    put("dds", "dx10_rgba_4x2", dds(4, 2, 2, b"DX10", 28, 32 + 8))


def wav():
    samples = bytes((i * 11) & 255 for i in range(64))
    fmt = struct.pack("<HHIIHH", 1, 2, 22050, 22050 * 4, 4, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"LIST" + struct.pack("<I", 3) + b"abc\0"
    body += b"data" + struct.pack("<I", len(samples)) + samples
    put("wav", "pcm_stereo", b"RIFF" + struct.pack("<I", len(body)) + body)
    fmt = struct.pack("<HHIIHHHH", 0x11, 1, 22050, 11100, 256, 4, 2, 505)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", 256) + bytes(256)
    put("wav", "ima_adpcm", b"RIFF" + struct.pack("<I", len(body)) + body)


def geo():
    verts = b"".join(struct.pack("<fffBBBB", i, 2.0 * i, 3.0 * i, 200, 100, 50, 255) for i in range(5))
    put("geo", "one_triangle_one_line", b"\x02" + b"geo " + struct.pack("<II", 1, 1) + verts)
    put("geo", "srgb_two_triangles", b"\x81" + b"geo " + struct.pack("<II", 2, 0) + verts + verts[:16])


def md2(frames, skins, vertex_count=3):
    tex = [(0, 0), (32, 0), (0, 16), (32, 16)]
    tris = [((0, 1, 2), (0, 1, 2)), ((2, 1, 0), (3, 1, 2))]
    o_skins = 68
    o_st = o_skins + 64 * len(skins)
    o_tris = o_st + 4 * len(tex)
    o_frames = o_tris + 12 * len(tris)
    frame_bytes = 40 + 4 * vertex_count
    end = o_frames + frame_bytes * len(frames)
    out = bytearray(end)
    out[0:4] = b"IDP2"
    struct.pack_into("<16I", out, 4, 8, 64, 32, frame_bytes, len(skins), vertex_count, len(tex), len(tris), 0,
                     len(frames), o_skins, o_st, o_tris, o_frames, 0, end)
    for i, s in enumerate(skins):
        out[o_skins + 64 * i:o_skins + 64 * i + len(s)] = s
    for i, (s, t) in enumerate(tex):
        struct.pack_into("<hh", out, o_st + 4 * i, s, t)
    for i, (v, t) in enumerate(tris):
        struct.pack_into("<6H", out, o_tris + 12 * i, *v, *t)
    for f, name in enumerate(frames):
        at = o_frames + frame_bytes * f
        struct.pack_into("<6f", out, at, 1, 1, 1, 0, 0, 0)
        out[at + 24:at + 24 + len(name)] = name
        for k in range(vertex_count):
            out[at + 40 + 4 * k:at + 44 + 4 * k] = bytes([10 * k + f, f, 5 + k, 0])
    return bytes(out)


def models():
    put("md2", "stand_walk", b"\x05" + md2([b"stand1", b"stand2", b"walk1", b"walk2", b"walk3"], [b"skins/guard.pcx"]))
    put("md2", "one_frame_no_skin", b"\x41" + md2([b"idle"], []))


def planet():
    with open(os.path.join(HERE, "corpus", "planet_dump", "planet32.dump")) as f:
        lines = f.read().split("\n")
    head = dict(kv.split("=") for kv in lines[0].split()[1:])
    nt, nv, ne = int(head["numtiles"]), int(head["numvertices"]), int(head["numedges"])
    verts = []
    for line in lines[1:1 + nv]:
        kv = dict(p.split("=") for p in line.split()[2:])
        verts.append((float(kv["x"]), float(kv["y"]), float(kv["z"])))
    corners = []
    for line in lines[1 + nv:1 + nv + nt]:
        corners.append([int(p.split("=")[1]) for p in line.split()[2:]])
    neighbours = [[] for _ in range(nt)]
    for line in lines[1 + nv + nt:1 + nv + nt + ne]:
        kv = dict(p.split("=") for p in line.split()[1:])
        t0, t1 = int(kv["t0"]), int(kv["t1"])
        neighbours[t0].append(t1)
        neighbours[t1].append(t0)
    nodes = b""
    for t in range(nt):
        c = [sum(verts[v][i] for v in corners[t]) / len(corners[t]) for i in range(3)]
        land = c[2] > 0
        ring = neighbours[t] + [-1] * (6 - len(neighbours[t]))
        nodes += struct.pack("<QQi3fIBbBB6i6i", 0, 0, t, *c, 0, 2 if land else 1, 2 if land else -1, len(neighbours[t]),
                             0, *ring, *([0] * 6))
    head = b"planet sz=%d hexw=0.472998\n" % nt
    put("topology", "planet32.top", head + nodes)
    # Found by fuzzing: a tile centre that is not a number reached the noise of the tree placement.
    bad = bytearray(nodes)
    struct.pack_into("<f", bad, 5 * 88 + 20 + 4, float("nan"))
    put("topology", "regress_centre_nan.top", head + bytes(bad))


def ttf(cmap_format):
    """A TrueType font of four glyphs: an empty .notdef, a square ('A'), a composite of the square
    ('B') and a contour of curves ('C'), with a format 4 or format 12 character map."""
    def simple(ends, flags, xs, ys, box):
        body = struct.pack(">h4h", len(ends), *box) + b"".join(struct.pack(">H", e) for e in ends)
        body += struct.pack(">H", 0) + bytes(flags)
        body += b"".join(struct.pack(">h", v) for v in xs) + b"".join(struct.pack(">h", v) for v in ys)
        return body + b"\0" * (len(body) % 2)
    square = simple([3], [1, 1, 1, 1], [100, 0, 400, 0], [0, 500, 0, -500], (100, 0, 500, 500))
    composite = struct.pack(">h4h", -1, 100, 0, 500, 500) + struct.pack(">HHhh", 1 | 2, 1, 0, 0)
    curve = simple([3], [1, 0, 0, 1], [100, 200, 200, -200], [0, 300, 0, -300], (100, 0, 300, 300))
    glyphs = [b"", square, composite, curve]
    glyf, loca = b"", []
    for g in glyphs:
        loca.append(len(glyf))
        glyf += g
    loca.append(len(glyf))
    loca_table = b"".join(struct.pack(">I", o) for o in loca)
    if cmap_format == 4:
        segs = [(0x41, 0x43, -0x40), (0xFFFF, 0xFFFF, 1)]
        n = len(segs)
        sub = struct.pack(">HHHHHHH", 4, 16 + 8 * n, 0, 2 * n, 2, 0, 2 * n - 2)
        sub += b"".join(struct.pack(">H", e) for _, e, _ in segs) + b"\0\0"
        sub += b"".join(struct.pack(">H", s) for s, _, _ in segs)
        sub += b"".join(struct.pack(">h", d) for _, _, d in segs) + b"\0\0" * n
    else:
        sub = struct.pack(">HHIII", 12, 0, 28, 0, 1) + struct.pack(">III", 0x41, 0x43, 1)
    cmap = struct.pack(">HHHHI", 0, 1, 3, 1 if cmap_format == 4 else 10, 12) + sub
    head = struct.pack(">IIIIHH", 0x10000, 0x10000, 0, 0x5F0F3CF5, 0, 1000) + b"\0" * 16
    head += struct.pack(">hhhhHHhhh", 0, -200, 500, 800, 0, 8, 2, 1, 0)
    hhea = struct.pack(">Ihhh", 0x10000, 800, -200, 0) + b"\0" * 22 + struct.pack(">hH", 0, 4)
    hmtx = b"".join(struct.pack(">Hh", 600, 100) for _ in glyphs)
    maxp = struct.pack(">IH", 0x5000, len(glyphs))
    tables = sorted({b"cmap": cmap, b"glyf": glyf, b"head": head, b"hhea": hhea, b"hmtx": hmtx, b"loca": loca_table,
                     b"maxp": maxp}.items())
    offset = 12 + 16 * len(tables)
    directory, body = b"", b""
    for tag, data in tables:
        directory += tag + struct.pack(">III", 0, offset + len(body), len(data))
        body += data + b"\0" * (-len(data) % 4)
    return struct.pack(">IHHHH", 0x10000, len(tables), 64, 2, 32) + directory + body


def fonts():
    put("font", "four_glyphs_format4.ttf", ttf(4))
    put("font", "four_glyphs_format12.ttf", ttf(12))


def dispatch():
    """Seeds of the dispatcher that work with a hammer: from the aged world the player walks to the
    camp's tools chest, smashes it and builds where nothing is under construction; from the
    builder's world ("@builder": the player, hammer in hand, building a staked bridge with its
    material on the tile) it lays the first piece and builds on without material, or builds on a
    cage."""
    def walk(tile, frames):
        return "leftclick down=0 moved=0 tile=%d actor=-1 modalt=0 modctl=0 modshf=0\n" % tile + "#30\n" * frames

    def act(name, frames):
        return "playeraction name=%s\n" % name + "#30\n" * frames

    put("dispatch", "hammer_from_the_tools_chest", walk(259, 7) + act("smash_chest", 1) + act("pickup_hammer", 2) +
        "".join("playeraction name=build_%s\n#5\n" % k for k in ("road", "factory", "bridge", "deck")))
    put("dispatch", "hammer_builds_the_bridge", "@builder\n" + act("build_bridge", 9) + act("build_bridge", 2))
    put("dispatch", "hammer_on_a_cage", "@builder\n" + walk(265, 5) + act("build_factory", 1) + act("build_road", 1))


packet()
keyval()
textures()
wav()
geo()
models()
planet()
fonts()
dispatch()
