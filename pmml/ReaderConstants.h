#pragma once

// Fixed values of the PMML tree reader. Nothing here is owned or allocated.

// The extender identifier that marks a MiningSchema Extension as this
// vendor's derived-fields list (together with the name "DerivedFields").
inline constexpr char kDerivedFieldsExtender[] = "Dendrix";

// Deepest Node nesting a TreeModel may have; deeper documents are refused
// before any node is built, which bounds the reader's recursion.
inline constexpr int kMaxNodeDepth = 1000;

// Units of the translator's field-name buffer (127 characters and the end).
inline constexpr int kFieldNameBufferSize = 128;
