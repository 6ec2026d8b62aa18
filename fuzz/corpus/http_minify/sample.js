var  a = b / c;
// comment
x=/a b/;
s = "q\"x" + 'y';
/* block */ if (a) { b(); }
