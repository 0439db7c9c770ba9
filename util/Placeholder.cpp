// Replaced by the helpers.
