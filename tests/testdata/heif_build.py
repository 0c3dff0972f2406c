#!/usr/bin/env python3
"""Builds HEIF files that heif-enc does not write, from coded tiles that it
did write: a picture tiled in a grid of several HEVC tiles (as phone cameras
store their photos), with the grid's output smaller than the tiles cover, and
pictures with a rotation (irot) or mirror (imir) property.

  heif_build.py OUT --tiles A.heic [B.heic ...] [--grid ROWSxCOLUMNS]
                [--size WIDTHxHEIGHT] [--irot QUARTERS] [--imir AXIS] [--plain]

Each tile file is heif-enc's output for one tile-sized picture; its primary
picture's first coded HEVC item (parameter sets and coded data) is taken as
it is. Tiles fill the grid row by row. --size is the grid's output size
(default: what the tiles cover). --irot turns the picture by QUARTERS x 90
degrees anticlockwise, --imir mirrors it (axis 0 or 1); both belong to the
primary picture, applied in that order. --plain writes the single tile as
the primary picture itself instead of inside a grid.
"""
import argparse
import struct


def boxes(data, start, end):
    """(type, body start, box end) of the boxes in data[start:end]."""
    while start + 8 <= end:
        size, kind = struct.unpack_from('>I4s', data, start)
        header = 8
        if size == 1:
            size, = struct.unpack_from('>Q', data, start + 8)
            header = 16
        elif size == 0:
            size = end - start
        assert size >= header and start + size <= end, ('box past its parent', kind, start)
        yield kind, start + header, start + size
        start += size


def child(data, start, end, kind):
    found = [(s, e) for k, s, e in boxes(data, start, end) if k == kind]
    assert found, ('no box', kind)
    return found[0]


def read_uint(data, at, size):
    return int.from_bytes(data[at:at + size], 'big') if size else 0


class Tile:
    """The first coded HEVC item of a heif-enc file's primary picture."""

    def __init__(self, path):
        data = open(path, 'rb').read()
        meta_start, meta_end = child(data, 0, len(data), b'meta')
        meta_start += 4  # version and flags
        pitm, _ = child(data, meta_start, meta_end, b'pitm')
        primary, = struct.unpack_from('>H', data, pitm + 4)
        types = {}
        iinf, iinf_end = child(data, meta_start, meta_end, b'iinf')
        skip = 6 if data[iinf] == 0 else 8
        for kind, at, _ in boxes(data, iinf + skip, iinf_end):
            if kind == b'infe':
                assert data[at] == 2, 'infe version 2 expected'
                item, _, item_type = struct.unpack_from('>HH4s', data, at + 4)
                types[item] = item_type
        item = primary
        if types[primary] == b'grid':
            iref, iref_end = child(data, meta_start, meta_end, b'iref')
            for kind, at, _ in boxes(data, iref + 4, iref_end):
                source, count = struct.unpack_from('>HH', data, at)
                if kind == b'dimg' and source == primary:
                    item, = struct.unpack_from('>H', data, at + 4)
                    break
        assert types[item] == b'hvc1', ('not an HEVC item', types[item])
        iprp, iprp_end = child(data, meta_start, meta_end, b'iprp')
        ipco, ipco_end = child(data, iprp, iprp_end, b'ipco')
        properties = [(kind, data[at - 8:end]) for kind, at, end in boxes(data, ipco, ipco_end)]
        ipma, _ = child(data, iprp, iprp_end, b'ipma')
        version, flags = data[ipma], read_uint(data, ipma + 1, 3)
        count, = struct.unpack_from('>I', data, ipma + 4)
        at = ipma + 8
        self.hvcC = self.size = None
        for _ in range(count):
            owner = read_uint(data, at, 2 if version < 1 else 4)
            at += 2 if version < 1 else 4
            associations = data[at]
            at += 1
            for _ in range(associations):
                index = read_uint(data, at, 2 if flags & 1 else 1) & (0x7FFF if flags & 1 else 0x7F)
                at += 2 if flags & 1 else 1
                if owner == item:
                    kind, box = properties[index - 1]
                    if kind == b'hvcC':
                        self.hvcC = box
                    elif kind == b'ispe':
                        self.size = struct.unpack_from('>II', box, 12)
        assert self.hvcC and self.size, 'tile without hvcC or ispe'
        self.data = self.coded_data(data, meta_start, meta_end, item)

    @staticmethod
    def coded_data(data, meta_start, meta_end, item):
        iloc, _ = child(data, meta_start, meta_end, b'iloc')
        version = data[iloc]
        at = iloc + 4
        offset_size, length_size = data[at] >> 4, data[at] & 15
        base_size, index_size = data[at + 1] >> 4, (data[at + 1] & 15 if version else 0)
        at += 2
        count = read_uint(data, at, 2 if version < 2 else 4)
        at += 2 if version < 2 else 4
        for _ in range(count):
            owner = read_uint(data, at, 2 if version < 2 else 4)
            at += 2 if version < 2 else 4
            method = data[at + 1] & 15 if version else 0
            at += 2 if version else 0
            at += 2  # data reference index
            base = read_uint(data, at, base_size)
            at += base_size
            extents, = struct.unpack_from('>H', data, at)
            at += 2
            parts = []
            for _ in range(extents):
                at += index_size
                offset = read_uint(data, at, offset_size)
                length = read_uint(data, at + offset_size, length_size)
                at += offset_size + length_size
                parts.append(data[base + offset:base + offset + length])
            if owner == item:
                assert method == 0, 'tile data outside the file body'
                return b''.join(parts)
        raise AssertionError('tile has no location')


def box(kind, body):
    return struct.pack('>I4s', 8 + len(body), kind) + body


def full_box(kind, version, flags, body):
    return box(kind, struct.pack('>I', version << 24 | flags) + body)


def build(tiles, rows, columns, width, height, irot, imir, plain):
    """The file's bytes. Items: tiles 1..n, the grid n+1 (unless plain)."""
    tile_width, tile_height = tiles[0].size
    assert all(t.size == (tile_width, tile_height) for t in tiles), 'tiles differ in size'
    assert len(tiles) == rows * columns
    grid_id = len(tiles) + 1
    primary = 1 if plain else grid_id
    # Properties: each tile's hvcC, the tile size, the output size, the turns.
    properties = [t.hvcC for t in tiles]
    properties.append(full_box(b'ispe', 0, 0, struct.pack('>II', tile_width, tile_height)))
    tile_ispe = len(properties)
    properties.append(full_box(b'ispe', 0, 0, struct.pack('>II', width, height)))
    grid_ispe = len(properties)
    turns = []
    if irot is not None:
        properties.append(box(b'irot', bytes([irot & 3])))
        turns.append(len(properties))
    if imir is not None:
        properties.append(box(b'imir', bytes([imir & 1])))
        turns.append(len(properties))
    essential = 0x80
    associations = {}
    for n in range(1, len(tiles) + 1):
        associations[n] = [essential | n, tile_ispe]
    if plain:
        associations[1] += [essential | p for p in turns]
    else:
        associations[grid_id] = [grid_ispe] + [essential | p for p in turns]
    ipma = struct.pack('>I', len(associations))
    for item, links in associations.items():
        ipma += struct.pack('>HB', item, len(links)) + bytes(links)
    iprp = box(b'iprp', box(b'ipco', b''.join(properties)) + full_box(b'ipma', 0, 0, ipma))

    def infe(item, kind, hidden):
        return full_box(b'infe', 2, 1 if hidden else 0, struct.pack('>HH4s', item, 0, kind) + b'\0')

    entries = [infe(n, b'hvc1', not plain) for n in range(1, len(tiles) + 1)]
    # The grid's own data: version, flags (16-bit sizes), rows and columns
    # less one, output width and height.
    grid = struct.pack('>BBBBHH', 0, 0, rows - 1, columns - 1, width, height)
    payloads = [t.data for t in tiles]
    if not plain:
        entries.append(infe(grid_id, b'grid', False))
        payloads.append(grid)
    iinf = full_box(b'iinf', 0, 0, struct.pack('>H', len(entries)) + b''.join(entries))
    iref = b''
    if not plain:
        iref = full_box(b'iref', 0, 0, box(b'dimg', struct.pack('>HH', grid_id, len(tiles)) +
                                           b''.join(struct.pack('>H', n) for n in range(1, len(tiles) + 1))))
    hdlr = full_box(b'hdlr', 0, 0, struct.pack('>I4s12x', 0, b'pict') + b'\0')
    pitm = full_box(b'pitm', 0, 0, struct.pack('>H', primary))
    ftyp = box(b'ftyp', b'heic' + struct.pack('>I', 0) + b'mif1heic')

    def meta(data_start):
        # iloc version 0: 4-byte offsets and lengths, no base offset.
        locations = struct.pack('>BBH', 0x44, 0x00, len(payloads))
        at = data_start
        for item, payload in enumerate(payloads, 1):
            locations += struct.pack('>HHHII', item, 0, 1, at, len(payload))
            at += len(payload)
        iloc = full_box(b'iloc', 0, 0, locations)
        return full_box(b'meta', 0, 0, hdlr + pitm + iloc + iinf + iref + iprp)

    data_start = len(ftyp) + len(meta(0)) + 8
    return ftyp + meta(data_start) + box(b'mdat', b''.join(payloads))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('out')
    parser.add_argument('--tiles', nargs='+', required=True)
    parser.add_argument('--grid', default='1x1')
    parser.add_argument('--size')
    parser.add_argument('--irot', type=int)
    parser.add_argument('--imir', type=int)
    parser.add_argument('--plain', action='store_true')
    arguments = parser.parse_args()
    rows, columns = (int(v) for v in arguments.grid.split('x'))
    tiles = [Tile(path) for path in arguments.tiles]
    if arguments.size:
        width, height = (int(v) for v in arguments.size.split('x'))
    else:
        width, height = tiles[0].size[0] * columns, tiles[0].size[1] * rows
    assert not arguments.plain or (len(tiles) == 1 and (width, height) == tiles[0].size)
    data = build(tiles, rows, columns, width, height, arguments.irot, arguments.imir, arguments.plain)
    open(arguments.out, 'wb').write(data)


if __name__ == '__main__':
    main()
