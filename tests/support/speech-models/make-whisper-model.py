#!/usr/bin/env python3
"""Writes a tiny random-weight Whisper model in whisper.cpp's GGML file format.

The layout is the one whisper.cpp's model converter writes: magic, hyperparameters, mel
filters, vocabulary, then each tensor as (n_dims, name length, type, dims reversed, name, data).
Matrices are float16, vectors, conv biases and positional embeddings float32. The weights come
from a fixed seed, so every build writes the same bytes; the decoder is set to say TEXT (nothing
when it is not given) whatever it hears. Usage: make-whisper-model.py OUT [TEXT]
"""
import random
import struct
import sys

N_VOCAB = 51864  # the English-only vocabulary size; 50256 text tokens, the rest special
N_TEXT_TOKENS = 50256
EOT = 50256  # the first special token of the English-only vocabulary
FIRST_WORD = 256  # the words to say take the entries after the single bytes
# whisper.cpp starts an English-only, timestamp-free decode after the start token alone;
# it never ends on the first token, hence the blank when there is no text.
FIRST_POSITION = 1
N_AUDIO_CTX = 1500  # 30 s of 10 ms mel frames, halved by the second convolution
N_TEXT_CTX = 448
N_STATE = 32
N_HEAD = 1
N_LAYER = 1
N_MELS = 80
N_FREQS = 201  # n_fft 400 / 2 + 1

rng = random.Random(20240501)
# A pool of small random values, sliced at random offsets: fast enough for the 1.6M-entry token
# embedding, and small weights keep every activation finite.
POOL = [rng.gauss(0.0, 0.02) for _ in range(1 << 14)]


def values(count):
    out = []
    while len(out) < count:
        start = rng.randrange(len(POOL))
        out.extend(POOL[start:start + count - len(out)])
    return out


def tensor(out, name, shape, fill=None, data=None):
    count = 1
    for d in shape:
        count *= d
    # Only matrices are half precision, except the positional embeddings and conv biases.
    half = len(shape) >= 2 and not name.endswith("positional_embedding") and not name.endswith("conv1.bias") \
        and not name.endswith("conv2.bias")
    if data is None:
        data = [fill] * count if fill is not None else values(count)
    encoded = name.encode()
    out.write(struct.pack("<iii", len(shape), len(encoded), 1 if half else 0))
    for d in reversed(shape):
        out.write(struct.pack("<i", d))
    out.write(encoded)
    out.write(struct.pack(f"<{count}{'e' if half else 'f'}", *data))


def attention(out, prefix, with_ln, silent=False):
    s = N_STATE
    tensor(out, f"{prefix}.query.weight", [s, s])
    tensor(out, f"{prefix}.query.bias", [s])
    tensor(out, f"{prefix}.key.weight", [s, s])
    tensor(out, f"{prefix}.value.weight", [s, s])
    tensor(out, f"{prefix}.value.bias", [s])
    tensor(out, f"{prefix}.out.weight", [s, s], 0.0 if silent else None)
    tensor(out, f"{prefix}.out.bias", [s], 0.0 if silent else None)
    tensor(out, f"{with_ln}.weight", [s], 1.0)
    tensor(out, f"{with_ln}.bias", [s], 0.0)


def mlp(out, prefix, silent=False):
    s = N_STATE
    tensor(out, f"{prefix}.mlp.0.weight", [4 * s, s])
    tensor(out, f"{prefix}.mlp.0.bias", [4 * s])
    tensor(out, f"{prefix}.mlp.2.weight", [s, 4 * s], 0.0 if silent else None)
    tensor(out, f"{prefix}.mlp.2.bias", [s], 0.0 if silent else None)
    tensor(out, f"{prefix}.mlp_ln.weight", [s], 1.0)
    tensor(out, f"{prefix}.mlp_ln.bias", [s], 0.0)


def hadamard(n):
    rows = [[1.0]]
    while len(rows) < n:
        rows = [r + r for r in rows] + [r + [-v for v in r] for r in rows]
    return rows


def main(path, text):
    s = N_STATE
    # One vocabulary entry per word of the text, in order; no text gives one blank entry.
    words = [(" " if i else "") + w for i, w in enumerate(text.split())] or ["  "]
    assert len(words) < s - 1, "too many words for the tiny model"
    spoken = [FIRST_WORD + i for i in range(len(words))]
    with open(path, "wb") as out:
        out.write(struct.pack("<i", 0x67676D6C))
        out.write(struct.pack("<11i", N_VOCAB, N_AUDIO_CTX, s, N_HEAD, N_LAYER, N_TEXT_CTX, s, N_HEAD, N_LAYER,
                              N_MELS, 1))
        out.write(struct.pack("<ii", N_MELS, N_FREQS))
        # Each mel band a narrow triangle, as the real filter bank is.
        for m in range(N_MELS):
            centre = 1 + m * (N_FREQS - 2) / N_MELS
            out.write(struct.pack(f"<{N_FREQS}f", *[max(0.0, 1.0 - abs(f - centre) / 2.0) for f in range(N_FREQS)]))
        out.write(struct.pack("<i", N_TEXT_TOKENS))
        for i in range(N_TEXT_TOKENS):
            if i < 256:
                token = bytes([i])
            elif FIRST_WORD <= i < FIRST_WORD + len(words):
                token = words[i - FIRST_WORD].encode()
            else:
                token = f"t{i}".encode()
            out.write(struct.pack("<i", len(token)) + token)

        tensor(out, "encoder.positional_embedding", [N_AUDIO_CTX, s])
        tensor(out, "encoder.conv1.weight", [s, N_MELS, 3])
        tensor(out, "encoder.conv1.bias", [s, 1])
        tensor(out, "encoder.conv2.weight", [s, s, 3])
        tensor(out, "encoder.conv2.bias", [s, 1])
        for layer in range(N_LAYER):
            block = f"encoder.blocks.{layer}"
            attention(out, f"{block}.attn", f"{block}.attn_ln")
            mlp(out, block)
        tensor(out, "encoder.ln_post.weight", [s], 1.0)
        tensor(out, "encoder.ln_post.bias", [s], 0.0)

        # The decoder blocks add nothing (their output weights are zero), so what the decoder
        # says at a position is set by that position's embedding alone: it points along one
        # Hadamard row, and the token wanted there is the one whose embedding points the same way.
        # Decoding then spells the given words, or a blank, and ends, whatever the audio.
        rows = hadamard(s)
        embedding = values(N_VOCAB * s)
        positions = values(N_TEXT_CTX * s)
        sequence = spoken + [EOT]
        for step, token in enumerate(sequence):
            row = rows[step + 1]  # row 0 is all ones, which the norm removes
            embedding[token * s:(token + 1) * s] = [3.0 * v for v in row]
        # Every later position says end-of-text too, so a longer prompt cannot make it run on.
        for at in range(FIRST_POSITION, N_TEXT_CTX):
            row = rows[min(at - FIRST_POSITION, len(sequence) - 1) + 1]
            positions[at * s:(at + 1) * s] = [10.0 * v for v in row]
        tensor(out, "decoder.positional_embedding", [N_TEXT_CTX, s], data=positions)
        tensor(out, "decoder.token_embedding.weight", [N_VOCAB, s], data=embedding)
        for layer in range(N_LAYER):
            block = f"decoder.blocks.{layer}"
            attention(out, f"{block}.attn", f"{block}.attn_ln", silent=True)
            attention(out, f"{block}.cross_attn", f"{block}.cross_attn_ln", silent=True)
            mlp(out, block, silent=True)
        tensor(out, "decoder.ln.weight", [s], 1.0)
        tensor(out, "decoder.ln.bias", [s], 0.0)

if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: make-whisper-model.py OUT [TEXT]")
    main(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else "")
