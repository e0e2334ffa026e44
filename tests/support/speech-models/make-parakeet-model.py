#!/usr/bin/env python3
"""Writes a tiny random-weight Parakeet (TDT) model in the GGML file format parakeet-cli reads.

Layout: magic, fifteen hyperparameters, mel filters, window, the TDT durations, vocabulary, then
the tensors as (n_dims, name length, type, dims reversed, name, float32 data). The weights come
from a fixed seed, so every build writes the same bytes. Usage: make-parakeet-model.py OUT
"""
import random
import struct
import sys

N_VOCAB = 10
N_AUDIO_CTX = 3200
N_STATE = 8
N_HEAD = 2
N_LAYER = 1
N_MELS = 16
N_FFT = 64
SUBSAMPLING = 8
SUB_CHANNELS = 4
CONV_KERNEL = 3
PRED_DIM = 8
PRED_LAYERS = 1
TDT_DURATIONS = 2
MAX_TOKENS = 5
LEANING_TOKEN = 5  # "c"

rng = random.Random(42)


def gauss(count):
    return [rng.gauss(0.0, 1.0) for _ in range(count)]


def tensor(out, name, shape, data=None):
    count = 1
    for d in shape:
        count *= d
    data = gauss(count) if data is None else data
    encoded = name.encode()
    out.write(struct.pack("<iii", len(shape), len(encoded), 0))
    for d in reversed(shape):
        out.write(struct.pack("<i", d))
    out.write(encoded)
    out.write(struct.pack(f"<{count}f", *data))


def encoder_layer(out, p):
    s = N_STATE
    tensor(out, f"{p}.norm_feed_forward1.weight", [s])
    tensor(out, f"{p}.norm_feed_forward1.bias", [s])
    tensor(out, f"{p}.feed_forward1.linear1.weight", [4 * s, s])
    tensor(out, f"{p}.feed_forward1.linear2.weight", [s, 4 * s])
    tensor(out, f"{p}.norm_conv.weight", [s])
    tensor(out, f"{p}.norm_conv.bias", [s])
    tensor(out, f"{p}.conv.pointwise_conv1.weight", [2 * s, s])
    tensor(out, f"{p}.conv.depthwise_conv.weight", [s, CONV_KERNEL])
    tensor(out, f"{p}.conv.batch_norm.weight", [s])
    tensor(out, f"{p}.conv.batch_norm.bias", [s])
    tensor(out, f"{p}.conv.batch_norm.running_mean", [s])
    tensor(out, f"{p}.conv.batch_norm.running_var", [s], [abs(v) for v in gauss(s)])
    tensor(out, f"{p}.conv.batch_norm.num_batches_tracked", [1], [0.0])
    tensor(out, f"{p}.conv.pointwise_conv2.weight", [s, s])
    tensor(out, f"{p}.norm_self_att.weight", [s])
    tensor(out, f"{p}.norm_self_att.bias", [s])
    tensor(out, f"{p}.self_attn.pos_bias_u", [N_HEAD, s // N_HEAD])
    tensor(out, f"{p}.self_attn.pos_bias_v", [N_HEAD, s // N_HEAD])
    for m in ("q", "k", "v", "out", "pos"):
        tensor(out, f"{p}.self_attn.linear_{m}.weight", [s, s])
    tensor(out, f"{p}.norm_feed_forward2.weight", [s])
    tensor(out, f"{p}.norm_feed_forward2.bias", [s])
    tensor(out, f"{p}.feed_forward2.linear1.weight", [4 * s, s])
    tensor(out, f"{p}.feed_forward2.linear2.weight", [s, 4 * s])
    tensor(out, f"{p}.norm_out.weight", [s])
    tensor(out, f"{p}.norm_out.bias", [s])


def lstm_gates(data):
    # PyTorch orders the gates i, f, g, o; the engine wants i, f, o, g.
    h = len(data) // 4
    return data[:h] + data[h:2 * h] + data[3 * h:] + data[2 * h:3 * h]


def main(path):
    s = N_STATE
    n_freqs = N_FFT // 2 + 1
    gates = 4 * PRED_DIM
    with open(path, "wb") as out:
        out.write(struct.pack("<I", 0x67676D6C))
        out.write(struct.pack("<15i", N_VOCAB, N_AUDIO_CTX, s, N_HEAD, N_LAYER, N_MELS, 0, N_FFT, SUBSAMPLING,
                              SUB_CHANNELS, CONV_KERNEL, PRED_DIM, PRED_LAYERS, TDT_DURATIONS, MAX_TOKENS))
        out.write(struct.pack("<ii", N_MELS, n_freqs))
        out.write(struct.pack(f"<{N_MELS * n_freqs}f", *[abs(v) for v in gauss(N_MELS * n_freqs)]))  # non-negative
        out.write(struct.pack("<i", N_FFT))
        out.write(struct.pack(f"<{N_FFT}f", *gauss(N_FFT)))
        out.write(struct.pack(f"<{TDT_DURATIONS}I", *range(TDT_DURATIONS)))
        tokens = ["<unk>", "<s>", "</s>"] + [chr(ord("a") + i) for i in range(N_VOCAB - 3)]
        out.write(struct.pack("<i", N_VOCAB))
        for token in tokens:
            # The length is in bytes: past "z" the letters are no longer ASCII.
            encoded = token.encode()
            out.write(struct.pack("<i", len(encoded)) + encoded)

        pre_encode = (N_MELS // SUBSAMPLING) * SUB_CHANNELS
        tensor(out, "encoder.pre_encode.out.weight", [s, pre_encode])
        tensor(out, "encoder.pre_encode.out.bias", [s])
        for conv, depthwise in (("0", True), ("2", True), ("3", False), ("5", True), ("6", False)):
            shape = [SUB_CHANNELS, 1, 3, 3] if depthwise else [SUB_CHANNELS, SUB_CHANNELS, 1, 1]
            tensor(out, f"encoder.pre_encode.conv.{conv}.weight", shape)
            tensor(out, f"encoder.pre_encode.conv.{conv}.bias", [1, SUB_CHANNELS, 1, 1])
        for layer in range(N_LAYER):
            encoder_layer(out, f"encoder.layers.{layer}")

        tensor(out, "decoder.prediction.embed.weight", [N_VOCAB + 1, PRED_DIM])
        lstm = "decoder.prediction.dec_rnn.lstm"
        for layer in range(PRED_LAYERS):
            tensor(out, f"{lstm}.weight_ih_l{layer}", [gates, PRED_DIM], lstm_gates(gauss(gates * PRED_DIM)))
            tensor(out, f"{lstm}.weight_hh_l{layer}", [gates, PRED_DIM], lstm_gates(gauss(gates * PRED_DIM)))
            bias = [a + b for a, b in zip(gauss(gates), gauss(gates))]  # input and hidden biases summed
            tensor(out, f"{lstm}.bias_h_l{layer}", [gates], lstm_gates(bias))
        tensor(out, "joint.pred.weight", [PRED_DIM, PRED_DIM])
        tensor(out, "joint.pred.bias", [PRED_DIM])
        tensor(out, "joint.enc.weight", [PRED_DIM, s])
        tensor(out, "joint.enc.bias", [PRED_DIM])
        tensor(out, "joint.joint_net.2.weight", [N_VOCAB + TDT_DURATIONS + 1, PRED_DIM])
        # Outputs: the tokens, blank, then the durations. One letter and the one-frame step lean
        # ahead, so any audio gives some text instead of only blanks, as random weights often do.
        bias = gauss(N_VOCAB + TDT_DURATIONS + 1)
        bias[LEANING_TOKEN] += 40.0
        bias[-1] += 40.0
        tensor(out, "joint.joint_net.2.bias", [N_VOCAB + TDT_DURATIONS + 1], bias)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make-parakeet-model.py OUT")
    main(sys.argv[1])
