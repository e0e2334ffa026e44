#!/usr/bin/env python3
"""Writes a tiny random-weight GGUF chat model that llama-server loads and answers with.

Usage: make-tiny-gguf.py OUTPUT [--corrupt] [--no-chat-template] [--seed N]

The model is a two-layer llama-architecture network with a 64-wide embedding and a SentencePiece
style vocabulary (control tokens, the 256 byte tokens and a few words), about 300 KB. --corrupt
writes the same header, metadata and tensor directory but cuts the tensor data short, so the
header looks fine and loading fails. Standard library only.
"""
import argparse
import random
import struct
import sys

GGUF_VERSION = 3
ALIGNMENT = 32

# Metadata value types.
T_UINT32, T_INT32, T_FLOAT32, T_BOOL, T_STRING, T_ARRAY = 4, 5, 6, 7, 8, 9
# Tensor element types.
GGML_F32, GGML_F16 = 0, 1

# SentencePiece token kinds.
NORMAL, UNKNOWN, CONTROL, BYTE = 1, 2, 3, 6

CHAT_TEMPLATE = (
    "{% for message in messages %}"
    "{{ '<|im_start|>' + message['role'] + '\n' + message['content'] + '<|im_end|>\n' }}"
    "{% endfor %}"
    "{% if add_generation_prompt %}{{ '<|im_start|>assistant\n' }}{% endif %}"
)

EMBED, LAYERS, HEADS, FEED_FORWARD, CONTEXT = 64, 2, 4, 128, 2048


def string(text):
    data = text.encode("utf-8")
    return struct.pack("<Q", len(data)) + data


def value(kind, v):
    if kind == T_UINT32:
        return struct.pack("<I", v)
    if kind == T_INT32:
        return struct.pack("<i", v)
    if kind == T_FLOAT32:
        return struct.pack("<f", v)
    if kind == T_BOOL:
        return struct.pack("<B", 1 if v else 0)
    if kind == T_STRING:
        return string(v)
    raise ValueError(kind)


def kv(key, kind, v):
    return string(key) + struct.pack("<I", kind) + value(kind, v)


def kv_array(key, kind, items):
    body = b"".join(value(kind, item) for item in items)
    return string(key) + struct.pack("<IIQ", T_ARRAY, kind, len(items)) + body


def vocabulary():
    tokens = [("<unk>", UNKNOWN), ("<s>", CONTROL), ("</s>", CONTROL),
              ("<|im_start|>", CONTROL), ("<|im_end|>", CONTROL)]
    tokens += [("<0x%02X>" % b, BYTE) for b in range(256)]
    words = ["\u2581OK", "\u2581Reply", "\u2581only", "\u2581with", "OK", ".", "\u2581the",
             "\u2581user", "\u2581assistant", "user", "assistant"]
    words += ["\u2581" + chr(c) for c in range(ord("a"), ord("z") + 1)]
    words += [chr(c) for c in range(ord("a"), ord("z") + 1)] + [chr(c) for c in range(ord("A"), ord("Z") + 1)]
    seen = set(t for t, _ in tokens)
    for w in words:  # the tokenizer requires every piece to be unique
        if w not in seen:
            seen.add(w)
            tokens.append((w, NORMAL))
    return tokens


def tensors(rng, vocab_size):
    """(name, dims with the fastest-varying first, element type) of every weight."""
    out = [("token_embd.weight", [EMBED, vocab_size], GGML_F16),
           ("output_norm.weight", [EMBED], GGML_F32),
           ("output.weight", [EMBED, vocab_size], GGML_F16)]
    for i in range(LAYERS):
        b = "blk.%d." % i
        out += [(b + "attn_norm.weight", [EMBED], GGML_F32),
                (b + "attn_q.weight", [EMBED, EMBED], GGML_F16),
                (b + "attn_k.weight", [EMBED, EMBED], GGML_F16),
                (b + "attn_v.weight", [EMBED, EMBED], GGML_F16),
                (b + "attn_output.weight", [EMBED, EMBED], GGML_F16),
                (b + "ffn_norm.weight", [EMBED], GGML_F32),
                (b + "ffn_gate.weight", [EMBED, FEED_FORWARD], GGML_F16),
                (b + "ffn_up.weight", [EMBED, FEED_FORWARD], GGML_F16),
                (b + "ffn_down.weight", [FEED_FORWARD, EMBED], GGML_F16)]
    return out


def tensor_bytes(rng, name, dims, kind):
    count = 1
    for d in dims:
        count *= d
    if name.endswith("norm.weight"):
        return struct.pack("<%df" % count, *([1.0] * count))
    values = [rng.gauss(0.0, 0.08) for _ in range(count)]
    return struct.pack("<%de" % count, *values) if kind == GGML_F16 else struct.pack("<%df" % count, *values)


def pad(data):
    return data + b"\0" * ((-len(data)) % ALIGNMENT)


def build(seed, chat_template, corrupt):
    rng = random.Random(seed)
    vocab = vocabulary()
    meta = [
        kv("general.architecture", T_STRING, "llama"),
        kv("general.name", T_STRING, "Tiny Test Chat"),
        kv("general.alignment", T_UINT32, ALIGNMENT),
        kv("llama.context_length", T_UINT32, CONTEXT),
        kv("llama.embedding_length", T_UINT32, EMBED),
        kv("llama.block_count", T_UINT32, LAYERS),
        kv("llama.feed_forward_length", T_UINT32, FEED_FORWARD),
        kv("llama.attention.head_count", T_UINT32, HEADS),
        kv("llama.attention.head_count_kv", T_UINT32, HEADS),
        kv("llama.attention.layer_norm_rms_epsilon", T_FLOAT32, 1e-5),
        kv("llama.rope.dimension_count", T_UINT32, EMBED // HEADS),
        kv("llama.vocab_size", T_UINT32, len(vocab)),
        kv("tokenizer.ggml.model", T_STRING, "llama"),
        kv_array("tokenizer.ggml.tokens", T_STRING, [t for t, _ in vocab]),
        kv_array("tokenizer.ggml.scores", T_FLOAT32, [-float(i) for i in range(len(vocab))]),
        kv_array("tokenizer.ggml.token_type", T_INT32, [k for _, k in vocab]),
        kv("tokenizer.ggml.unknown_token_id", T_UINT32, 0),
        kv("tokenizer.ggml.bos_token_id", T_UINT32, 1),
        kv("tokenizer.ggml.eos_token_id", T_UINT32, 4),
        kv("tokenizer.ggml.add_bos_token", T_BOOL, True),
    ]
    if chat_template:
        meta.append(kv("tokenizer.chat_template", T_STRING, CHAT_TEMPLATE))

    infos, data = [], b""
    for name, dims, kind in tensors(rng, len(vocab)):
        blob = pad(tensor_bytes(rng, name, dims, kind))
        infos.append(string(name) + struct.pack("<I", len(dims)) + struct.pack("<%dQ" % len(dims), *dims)
                     + struct.pack("<IQ", kind, len(data)))
        data += blob

    head = b"GGUF" + struct.pack("<IQQ", GGUF_VERSION, len(infos), len(meta)) + b"".join(meta) + b"".join(infos)
    if corrupt:
        data = data[: len(data) // 3]
    return pad(head) + data


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--corrupt", action="store_true", help="cut the tensor data short")
    parser.add_argument("--no-chat-template", action="store_true")
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    blob = build(args.seed, not args.no_chat_template, args.corrupt)
    with open(args.output, "wb") as f:
        f.write(blob)
    return 0


if __name__ == "__main__":
    sys.exit(main())
