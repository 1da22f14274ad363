// placeholder (being written)
