void main() { gl_FragColor = undeclared; }
