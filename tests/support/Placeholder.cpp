// test support lands with the harness
