"""The six reference pictures of the slice views (tests/data/views_*.bmp) drawn
again here, rule by rule, from the state of the reference study
(literal/display_study.h: fill_synthetic_study, place_study_model, then
couleur 5, palet 2, the inner ellipsoid held in the VLA view) in single
precision where the program computes in single precision. A second drawing,
apart from the C++ one that wrote the pictures, so that a rule drawn wrongly in
both the program and its step-by-step transcription still shows here."""
import math
import sys

import numpy as np

f = np.float32
src = sys.argv[2]
# Test palettes and overlay colours, as display_study.h fills them.
pal=np.zeros(16*303,dtype=np.int64)
for p in range(16):
    for v in range(101):
        pal[p*303+v]=(v*3+7*p)&255; pal[p*303+101+v]=2*v+1; pal[p*303+202+v]=255-v-p
cou=[250,250,250,0,0,0,0,0,250,0,250,0,250,0,0,250,250,0,150,150,150,100,100,100,150,150,250,150,250,150,250,150,150,250,250,200]
palet=2; couleur=5
set_centre=[0,0,0]; set_centri=[0,1,0]; set_plan=[0,0]
ell=dict(ci=120,cj=128,ck=132,ri=74,rj=48,rk=46); ill=dict(ci=110,cj=128,ck=132,ri=46,rj=24,rk=23)
plan_i=80; apex_i=160; sect_i=[80,106,133,160,194]; Nhla,Nvla,Nsa=132,128,140; ombre=1
# The synthetic study, voxel by voxel, as fill_synthetic_study computes it.
def vol(i,j,k):
    oi=f(i-120)/f(72.0); ni=f(i-112)/f(48.0); oj=f(j-128)/f(46.0); nj=f(j-128)/f(26.0)
    ok=f(k-132)/f(44.0); nk=f(k-132)/f(25.0)
    outer=f(f(oi*oi+oj*oj)+ok*ok); inner=f(f(ni*ni+nj*nj)+nk*nk)
    if outer<=f(1) and inner>=f(1):
        v=f(f(f(55.0)+f(f(45.0)*f(k-88))/f(88.0))+f(0.37))
        return f(100) if v>f(100) else (f(0) if v<f(0) else v)
    return f(f(5.0)+f((i*7+j*3+k)%23)*f(0.9))
# The shadow's distance: three quotients, summed i, j, k, each sum kept in single precision.
def dist(i,j,k):
    d=f(f((i-ell['ci'])**2)/f(ell['ri']**2))
    d=f(d+f(f((j-ell['cj'])**2)/f(ell['rj']**2)))
    d=f(d+f(f((k-ell['ck'])**2)/f(ell['rk']**2)))
    return d
def col(v): return (pal[palet*303+v],pal[palet*303+101+v],pal[palet*303+202+v])  # b,g,r
def shade(h):
    n=(h*6+couleur)*3; return (cou[n+2],cou[n+1],cou[n])
def tz(x): return int(math.trunc(float(x)))
def view(V):
    pic=np.zeros((256,256,3),dtype=np.int64)
    def vox(x,y):
        return (y,x,Nhla) if V==0 else ((x,Nvla,y) if V==1 else (Nsa,x,y))
    rl,cl=[(Nsa,Nvla),(Nhla,Nsa),(Nhla,Nvla)][V]
    ox,oy,ix,iy=[(ell['cj'],ell['ci'],ill['cj'],ill['ci']),(ell['ci'],ell['ck'],ill['ci'],ill['ck']),(ell['cj'],ell['ck'],ill['cj'],ill['ck'])][V]
    for y in range(256):
        for x in range(256):
            i,j,k=vox(x,y); v=tz(vol(i,j,k))
            if not (x%2==1 and y%2==1) and (dist(i,j,k)>1 or i<plan_i): v=v//4 if v>=0 else -((-v)//4)
            v=max(0,min(100,v)); c=list(col(v))
            if (y==rl and x%4==0) or (x==cl and y%4==0): c=[255-t for t in c]
            if V==2 and Nsa==apex_i and abs(x-ox)<=3 and abs(y-oy)<=3: c=list(shade(0))
            if abs(x-ox)<=2 and abs(y-oy)<=2: c=list(shade(set_centre[V]))
            if (y==oy and abs(x-ox)<=6) or (x==ox and abs(y-oy)<=6): c=list(shade(set_centre[V]))
            if abs(x-ix)<=3 and abs(y-iy)<=3: c=list(shade(set_centri[V]))
            if V==0 and (y==plan_i or (abs(y-plan_i)<=3 and (x<=5 or x>=250))): c=list(shade(set_plan[0]))
            if V==1 and (x==plan_i or (abs(x-plan_i)<=3 and (y<=5 or y>=250))): c=list(shade(set_plan[1]))
            pic[y,x]=c
    if V==2 and Nsa<plan_i: return pic
    for e,E in ((0,ell),(1,ill)):
        h=set_centre[V] if e==0 else set_centri[V]
        P,cP,rP,cR,rR,cC,rC=[(Nhla,E['ck'],E['rk'],E['ci'],E['ri'],E['cj'],E['rj']),(Nvla,E['cj'],E['rj'],E['ck'],E['rk'],E['ci'],E['ri']),(Nsa,E['ci'],E['ri'],E['ck'],E['rk'],E['cj'],E['rj'])][V]
        q=f(f(1)-f(f((P-cP)**2)/f(rP*rP)))
        if q<0: continue
        s=f(math.sqrt(float(q)))
        for n in range(2400):
            a=float(f(n*3.1415/1200))
            yo=cR+tz(math.cos(a)*(rR*float(s))+0.5); xo=cC+tz(math.sin(a)*(rC*float(s))+0.5)
            lvl,p,c=(yo,xo,E['cj']) if V==0 else (xo,yo,E['ck'])
            if e==1 and V!=2:
                for m in (1,2,3):
                    if lvl!=sect_i[m]: continue
                    for pos in range(p+1,2*c-p):
                        x,y=(pos,lvl) if V==0 else (lvl,pos)
                        if not(0<=x<=255 and 0<=y<=255): continue
                        if abs(x-ox)<=3 and abs(y-oy)<=3: continue
                        if abs(x-ix)<=3 and abs(y-iy)<=3: continue
                        i,j,k=vox(x,y); pic[y,x]=col(max(0,min(100,tz(vol(i,j,k)))))
            reg=[(plan_i<=yo<=255 and 0<=xo<=255),(0<=yo<=255 and plan_i<=xo<=255),(0<=yo<=255 and 0<=xo<=255)][V]
            if reg: pic[yo,xo]=shade(h)
            if e==0 and V!=2:
                for m in (1,2,3):
                    if lvl!=sect_i[m]: continue
                    for pos in range(p,2*c-p+1):
                        if pos%3: continue
                        x,y=(pos,lvl) if V==0 else (lvl,pos)
                        if 0<=x<=255 and 0<=y<=255: pic[y,x]=shade(h)
    return pic
def strip(N):
    pic=np.zeros((16,256,3),dtype=np.int64)
    for y in range(16):
        for x in range(256):
            d=abs(y-8); c=(120+10*d,80+5*d,40+3*d)
            if x in (0,255) or y in (0,15): c=(0,0,0)
            pic[y,x]=c
    for y in range(16):
        for d in range(-4,5):
            x=N+d
            if 0<=x<=255: pic[y,x]=(250-20*abs(d),100-20*abs(d),100-20*abs(d))
    return pic
names=['hla','vla','sa']
bad=0
for V in range(3):
    want=np.frombuffer(open(f'{src}/tests/data/views_{names[V]}.bmp','rb').read()[54:],dtype=np.uint8).reshape(256,256,3)
    diff=np.argwhere(view(V)!=want)
    if len(diff):
        bad+=1
        print(names[V], 'differs at', len(diff), 'bytes, first (row, column, byte):', diff[:5].tolist())
for nm,N in (('strip_hla',Nhla),('strip_vla',Nvla),('strip_sa',Nsa)):
    want=np.frombuffer(open(f'{src}/tests/data/views_{nm}.bmp','rb').read()[54:],dtype=np.uint8).reshape(16,256,3)
    n=int((strip(N)!=want).sum())
    if n:
        bad+=1
        print(nm,'differs at',n,'bytes')
if bad:
    sys.exit(1)
print('the six reference pictures agree')
