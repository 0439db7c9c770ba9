// Replaced by the builder.
