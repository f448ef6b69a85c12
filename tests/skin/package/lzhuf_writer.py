# An LZHUF packer kept apart from the program's code, written from the
# layout of the packed stream: it reads bytes on standard input and writes
# the packed stream (size as int32 LE, then the bit stream) on standard
# output. Matches are found greedily among the last places of each
# three-byte key.
import sys

N, F, THRESHOLD = 4096, 60, 2
NCHAR = 256 - THRESHOLD + F
T = 2 * NCHAR - 1
R = T - 1
MAX_FREQ = 0x8000

# Position tables: upper six bits by leading byte, and bits read in all.
d_code, d_len = [], []
for code_count, each in [(1, 32), (3, 16), (8, 8), (12, 4), (24, 2), (16, 1)]:
    start = (d_code[-1] + 1) if d_code else 0
    for c in range(start, start + code_count):
        d_code.extend([c] * each)
for bits, count in [(3, 32), (4, 48), (5, 64), (6, 48), (7, 48), (8, 16)]:
    d_len.extend([bits] * count)
prefix = {}
for b in range(256):
    if d_code[b] not in prefix:
        prefix[d_code[b]] = (b >> (8 - d_len[b]), d_len[b])

freq = [0] * (T + 1)
prnt = [0] * (T + NCHAR)
son = [0] * T


def start_tree():
    for i in range(NCHAR):
        freq[i] = 1
        son[i] = i + T
        prnt[i + T] = i
    i, j = 0, NCHAR
    while j <= R:
        freq[j] = freq[i] + freq[i + 1]
        son[j] = i
        prnt[i] = prnt[i + 1] = j
        i += 2
        j += 1
    freq[T] = 0xFFFF
    prnt[R] = 0


def rebuild():
    j = 0
    for i in range(T):
        if son[i] >= T:
            freq[j] = (freq[i] + 1) // 2
            son[j] = son[i]
            j += 1
    i, j = 0, NCHAR
    while j < T:
        f = freq[i] + freq[i + 1]
        k = j - 1
        while f < freq[k]:
            k -= 1
        k += 1
        freq[k + 1:j + 1] = freq[k:j]
        son[k + 1:j + 1] = son[k:j]
        freq[k] = f
        son[k] = i
        i += 2
        j += 1
    for i in range(T):
        k = son[i]
        if k >= T:
            prnt[k] = i
        else:
            prnt[k] = prnt[k + 1] = i


def update(c):
    if freq[R] == MAX_FREQ:
        rebuild()
    c = prnt[c + T]
    while True:
        freq[c] += 1
        k = freq[c]
        l = c + 1
        if k > freq[l]:
            while k > freq[l]:
                l += 1
            l -= 1
            freq[c] = freq[l]
            freq[l] = k
            i = son[c]
            prnt[i] = l
            if i < T:
                prnt[i + 1] = l
            j = son[l]
            son[l] = i
            prnt[j] = c
            if j < T:
                prnt[j + 1] = c
            son[c] = j
            c = l
        c = prnt[c]
        if c == 0:
            break


out = bytearray()
acc, nbits = 0, 0


def put(value, count):
    global acc, nbits
    for i in range(count - 1, -1, -1):
        acc = (acc << 1) | ((value >> i) & 1)
        nbits += 1
        if nbits == 8:
            out.append(acc)
            acc, nbits = 0, 0


def put_symbol(c):
    path = []
    k = prnt[c + T]
    while k != R:
        p = prnt[k]
        path.append(k - son[p])
        k = p
    for bit in reversed(path):
        put(bit, 1)
    update(c)


def put_position(p):
    bits, length = prefix[p >> 6]
    put(bits, length)
    put(p & 63, 6)


def main():
    data = sys.stdin.buffer.read()
    start_tree()
    history = b" " * (N - F) + data
    places = {}
    cur = N - F
    while cur < len(history):
        limit = min(F, len(history) - cur)
        best, best_place = 0, 0
        if limit > THRESHOLD:
            for place in reversed(places.get(history[cur:cur + 3], [])[-16:]):
                if cur - place > N:
                    break
                n = 0
                while n < limit and history[place + n] == history[cur + n]:
                    n += 1
                if n > best:
                    best, best_place = n, place
        step = 1
        if best > THRESHOLD:
            put_symbol(best + 253)
            put_position(cur - best_place - 1)
            step = best
        else:
            put_symbol(history[cur])
        for p in range(cur, cur + step):
            places.setdefault(history[p:p + 3], []).append(p)
        cur += step
    if nbits:
        out.append((acc << (8 - nbits)) & 0xFF)
    sys.stdout.buffer.write(len(data).to_bytes(4, "little") + bytes(out))


main()
