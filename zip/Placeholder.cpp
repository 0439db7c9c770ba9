// Replaced by the ZIP writer.
