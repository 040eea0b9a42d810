// The beats of a piece of music as Essentia's multi-feature beat tracker finds them: an
// offline tracker (it hears the whole piece, several onset functions voting), the
// reference the lamps' steps and a live tracker's beats are scored against.
// Reads mono 32-bit float samples at 44.1 kHz (the rate the tracker is made for), native
// byte order, on standard input; prints one beat time in seconds a line.
// Usage: sox in.wav -t f32 -c 1 -r 44100 - | NODE_PATH=<node_modules> node beats.js
'use strict';

const fs = require('fs');
const { Essentia, EssentiaWASM } = require('essentia.js');

const raw = fs.readFileSync(0);
// A copy, so the samples start on a 4-byte boundary whatever the buffer the read gave.
const signal = new Float32Array(raw.byteLength >> 2);
Buffer.from(signal.buffer).set(raw.subarray(0, signal.byteLength));
if (signal.length < 44100) {
  console.error('beats.js: less than a second of audio on standard input');
  process.exit(1);
}

const essentia = new Essentia(EssentiaWASM);
const ticks = essentia.vectorToArray(
    essentia.BeatTrackerMultiFeature(essentia.arrayToVector(signal)).ticks);
process.stdout.write(Array.from(ticks, (t) => t.toFixed(4) + '\n').join(''));
